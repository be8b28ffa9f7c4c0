// Texture stages: the textures GL holds for the device's, their uploads,
// and each stage's combiner, filters, wrapping and coordinate generation.

#include "device/gl/gl_backend.h"
#include "device/gl/gl_mapping.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

namespace korvane {
namespace {

struct GlFormat {
  GLint internal;
  GLenum format, type;
};

GlFormat glFormat(PixelFormat format) {
  switch (format) {
  case D3DFMT_A8R8G8B8:
    return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV};
  case D3DFMT_X8R8G8B8:
    return {GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV};
  case D3DFMT_R5G6B5:
    return {GL_RGB5, GL_RGB, GL_UNSIGNED_SHORT_5_6_5};
  case D3DFMT_X1R5G5B5:
    return {GL_RGB5, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
  case D3DFMT_A1R5G5B5:
    return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
  case D3DFMT_A4R4G4B4:
    return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV};
  case D3DFMT_R3G3B2:
    return {GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2};
  default:
    return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV};
  }
}

} // namespace

GlBackend::GlTexture &GlBackend::textureFor(Texture &texture) {
  auto found = textures.find(&texture);
  if (found != textures.end() && found->second.alive.expired()) {
    // Another texture at the address of one that has gone.
    gl.forgetTexture(found->second.name);
    glDeleteTextures(1, &found->second.name);
    textures.erase(found);
    found = textures.end();
  }
  if (found != textures.end())
    return found->second;
  GlTexture entry;
  entry.alive = texture.lifetime();
  glGenTextures(1, &entry.name);
  return textures.emplace(&texture, entry).first->second;
}

void GlBackend::upload(Texture &texture, GlTexture &entry) {
  entry.version = texture.version();
  const GlFormat format = glFormat(texture.format());
  // Only the first level is drawn: the mip filter is never set.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, format.internal,
               static_cast<GLsizei>(texture.width()),
               static_cast<GLsizei>(texture.height()), 0, format.format,
               format.type, texture.pixels());
}

void GlBackend::forgetGoneTextures() {
  for (auto entry = textures.begin(); entry != textures.end();) {
    if (!entry->second.alive.expired()) {
      ++entry;
      continue;
    }
    gl.forgetTexture(entry->second.name);
    glDeleteTextures(1, &entry->second.name);
    entry = textures.erase(entry);
  }
}

void GlBackend::bindStage(const DeviceState &state, int stage) {
  const std::uint32_t *ts = state.stagestate[stage];
  Texture *texture = state.texture[stage];
  if (!glmap::stageSamples(state, stage)) {
    gl.texturing(stage, false);
    gl.generation(stage, false, 0);
    return;
  }
  GlTexture &entry = textureFor(*texture);
  gl.bindTexture(stage, entry.name);
  if (entry.version != texture->version())
    upload(*texture, entry);
  gl.texturing(stage, true);
  gl.combiner(stage,
              {ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2],
               ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2]});
  gl.textureParameters(stage, glmap::textureParameters(ts));
  // Generated coordinates: the camera-space reflection vector (or normal),
  // through the stage's texture transform.
  const std::uint32_t generation = ts[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u;
  gl.generation(stage,
                !layout.pretransformed && generation != 0 && !cpugeneration,
                generation == D3DTSS_TCI_CAMERASPACENORMAL ? GL_NORMAL_MAP
                                                           : GL_REFLECTION_MAP);
  gl.loadMatrix(static_cast<GlCache::Stack>(GlCache::Texture0 + stage),
                layout.pretransformed || (cpugeneration && generation != 0)
                    ? matrixIdentity()
                    : glmap::textureMatrix(state.texturetransform[stage],
                                           ts[D3DTSS_TEXTURETRANSFORMFLAGS],
                                           generation != 0));
}

void GlBackend::refreshTextures(const DeviceState &state) {
  // A texture written since its upload (a video frame) is sent again,
  // whether or not a state changed. Only textures known alive are read.
  for (int stage = 0; stage < maxStages; ++stage) {
    const auto found = textures.find(state.texture[stage]);
    if (found == textures.end() || found->second.alive.expired() ||
        !gl.texturingOn(stage))
      continue;
    Texture &texture = *state.texture[stage];
    if (found->second.version == texture.version())
      continue;
    gl.bindTexture(stage, found->second.name);
    upload(texture, found->second);
  }
}

} // namespace korvane
