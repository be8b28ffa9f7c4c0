// Textures and vertices of the GLES backend: the device's textures in GL,
// converted where GLES has no format of Direct3D's layout, and each draw's
// attributes straight from the bound buffer, or worked out here where
// GL's own generation would differ from Direct3D's.

#include "device/gles/gles_backend.h"
#include "device/gles/gles_mapping.h"
#include "device/texgen.h"

#include <GLES3/gl3.h>

#include <cstring>

namespace korvane {
namespace {

std::uint16_t word16(const std::uint8_t *p) {
  std::uint16_t w;
  std::memcpy(&w, p, 2);
  return w;
}

// Level 0 in a format GLES takes: 16-bit layouts rearranged to GL's
// packed orders (the same bits), the rest as RGBA bytes.
struct Upload {
  GLint internal;
  GLenum format, type;
};

Upload convert(const Texture &texture, std::vector<std::uint8_t> &out) {
  const std::uint32_t w = texture.width(), h = texture.height();
  const PixelFormat format = texture.format();
  const bool packed = format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 ||
                      format == D3DFMT_A1R5G5B5 || format == D3DFMT_A4R4G4B4;
  out.resize(std::size_t(w) * h * (packed ? 2 : 4));
  for (std::uint32_t y = 0; y < h; ++y) {
    const std::uint8_t *row =
        texture.pixels() + std::size_t(y) * texture.pitch();
    std::uint8_t *to = out.data() + std::size_t(y) * w * (packed ? 2 : 4);
    for (std::uint32_t x = 0; x < w; ++x) {
      if (packed) {
        std::uint16_t v = word16(row + 2 * x);
        if (format == D3DFMT_X1R5G5B5)
          v = std::uint16_t((v << 1) | 1);
        else if (format == D3DFMT_A1R5G5B5)
          v = std::uint16_t((v << 1) | (v >> 15));
        else if (format == D3DFMT_A4R4G4B4)
          v = std::uint16_t((v << 4) | (v >> 12));
        std::memcpy(to + 2 * x, &v, 2);
      } else if (format == D3DFMT_R3G3B2) {
        const std::uint8_t v = row[x];
        to[4 * x] = std::uint8_t(((v >> 5) & 7) * 255 / 7);
        to[4 * x + 1] = std::uint8_t(((v >> 2) & 7) * 255 / 7);
        to[4 * x + 2] = std::uint8_t((v & 3) * 255 / 3);
        to[4 * x + 3] = 255;
      } else {
        const std::uint8_t *p = row + 4 * x; // B, G, R, A
        to[4 * x] = p[2];
        to[4 * x + 1] = p[1];
        to[4 * x + 2] = p[0];
        to[4 * x + 3] = format == D3DFMT_A8R8G8B8 ? p[3] : 255;
      }
    }
  }
  switch (format) {
  case D3DFMT_R5G6B5:
    return {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5};
  case D3DFMT_X1R5G5B5:
  case D3DFMT_A1R5G5B5:
    return {GL_RGB5_A1, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1};
  case D3DFMT_A4R4G4B4:
    return {GL_RGBA4, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4};
  default:
    return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE};
  }
}

} // namespace

GlesBackend::GlesTexture &GlesBackend::textureFor(Texture &texture) {
  auto found = textures.find(&texture);
  if (found != textures.end() && found->second.alive.expired()) {
    // Another texture at the address of one that has gone.
    glDeleteTextures(1, &found->second.name);
    textures.erase(found);
    found = textures.end();
  }
  if (found != textures.end())
    return found->second;
  GlesTexture entry;
  entry.alive = texture.lifetime();
  glGenTextures(1, &entry.name);
  return textures.emplace(&texture, entry).first->second;
}

void GlesBackend::upload(Texture &texture, GlesTexture &entry) {
  entry.version = texture.version();
  const Upload format = convert(texture, converted);
  // Only the first level is drawn: the mip filter is never set.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, format.internal,
               static_cast<GLsizei>(texture.width()),
               static_cast<GLsizei>(texture.height()), 0, format.format,
               format.type, converted.data());
}

void GlesBackend::forgetGoneTextures() {
  for (auto entry = textures.begin(); entry != textures.end();) {
    if (!entry->second.alive.expired()) {
      ++entry;
      continue;
    }
    glDeleteTextures(1, &entry->second.name);
    entry = textures.erase(entry);
  }
}

void GlesBackend::bindTextures(const DeviceState &state) {
  for (int stage = 0; stage < maxStages; ++stage) {
    if (!key.stage[stage].samples)
      continue;
    Texture &texture = *state.texture[stage];
    GlesTexture &entry = textureFor(texture);
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(stage));
    glBindTexture(GL_TEXTURE_2D, entry.name);
    // A texture written since its upload (a video frame) is sent again.
    if (entry.version != texture.version())
      upload(texture, entry);
    const auto parameters = glesmap::textureParameters(state.stagestate[stage]);
    if (entry.parameters != parameters) {
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, parameters[0]);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, parameters[1]);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, parameters[2]);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, parameters[3]);
      entry.parameters = parameters;
    }
  }
}

void GlesBackend::bindAttributes(const DeviceState &state,
                                 std::uint32_t startVertex,
                                 std::uint32_t vertexCount) {
  const std::uint8_t *base =
      state.stream->data() + std::size_t(startVertex) * state.stride;
  const auto stride = static_cast<GLsizei>(state.stride);
  // Offsets into the buffer bound, as GL takes them.
  auto at = [](std::ptrdiff_t offset) {
    return reinterpret_cast<const void *>(offset);
  };
  glBindBuffer(GL_ARRAY_BUFFER, vertexbuffer);
  glBufferData(GL_ARRAY_BUFFER,
               static_cast<GLsizeiptr>(std::size_t(vertexCount) * state.stride),
               base, GL_STREAM_DRAW);
  glVertexAttribPointer(POSITION, 3, GL_FLOAT, GL_FALSE, stride, at(0));
  if (layout.normal >= 0) {
    glEnableVertexAttribArray(NORMAL);
    glVertexAttribPointer(NORMAL, 3, GL_FLOAT, GL_FALSE, stride,
                          at(layout.normal));
  } else {
    glDisableVertexAttribArray(NORMAL);
    glVertexAttrib4f(NORMAL, 0.0f, 0.0f, 0.0f, 1.0f);
  }
  if (layout.diffuse >= 0) {
    glEnableVertexAttribArray(COLOR);
    glVertexAttribPointer(COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          at(layout.diffuse));
  } else {
    glDisableVertexAttribArray(COLOR);
    glVertexAttrib4f(COLOR, 1.0f, 1.0f, 1.0f, 1.0f);
  }
  for (int stage = 0; stage < maxStages; ++stage) {
    const GLuint attribute = TEXCOORD0 + static_cast<GLuint>(stage);
    const std::uint32_t index = state.stagestate[stage][D3DTSS_TEXCOORDINDEX];
    const bool samples = key.stage[stage].samples;
    const bool computed = samples && cpugeneration && (index & 0xFFFF0000u);
    const auto set = static_cast<int>(index & 0xFFFF);
    if (computed) {
      std::vector<float> &coordinates = generated[stage];
      generateStageCoordinates(state, stage, base, vertexCount, layout.normal,
                               coordinates);
      glBindBuffer(GL_ARRAY_BUFFER, coordinatebuffer[stage]);
      glBufferData(GL_ARRAY_BUFFER,
                   static_cast<GLsizeiptr>(coordinates.size() * sizeof(float)),
                   coordinates.data(), GL_STREAM_DRAW);
      glEnableVertexAttribArray(attribute);
      glVertexAttribPointer(attribute, 2, GL_FLOAT, GL_FALSE, 0, at(0));
      glBindBuffer(GL_ARRAY_BUFFER, vertexbuffer);
    } else if (samples && set < layout.texcoordsets) {
      glEnableVertexAttribArray(attribute);
      glVertexAttribPointer(attribute, 2, GL_FLOAT, GL_FALSE, stride,
                            at(layout.texcoord[set]));
    } else {
      // GL's current coordinates where no array gives them.
      glDisableVertexAttribArray(attribute);
      glVertexAttrib4f(attribute, 0.0f, 0.0f, 0.0f, 1.0f);
    }
  }
}

} // namespace korvane
