// The vertices of a draw: arrays straight from the bound buffer, colours
// converted, and texture coordinates worked out here where GL's own
// generation would differ from Direct3D's.

#include "device/gl/gl_backend.h"
#include "device/texgen.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace korvane {

void GlBackend::bindArrays(const DeviceState &state, std::uint32_t startVertex,
                           std::uint32_t vertexCount) {
  const std::uint8_t *base =
      state.stream->data() + std::size_t(startVertex) * state.stride;
  const auto stride = static_cast<GLsizei>(state.stride);
  glVertexPointer(3, GL_FLOAT, stride, base);
  gl.clientArray(0, layout.normal >= 0);
  if (layout.normal >= 0)
    glNormalPointer(GL_FLOAT, stride, base + layout.normal);
  else
    glNormal3f(0.0f, 0.0f, 0.0f);
  gl.clientArray(1, layout.diffuse >= 0);
  if (layout.diffuse >= 0) {
    // ARGB words as RGBA floats.
    colors.resize(std::size_t(vertexCount) * 4);
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
      std::uint32_t argb;
      std::memcpy(&argb, base + std::size_t(v) * state.stride + layout.diffuse,
                  4);
      colorFloats(argb, &colors[std::size_t(v) * 4]);
    }
    glColorPointer(4, GL_FLOAT, 0, colors.data());
  } else {
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  }
  for (int stage = 0; stage < maxStages; ++stage) {
    const std::uint32_t index = state.stagestate[stage][D3DTSS_TEXCOORDINDEX];
    const bool textured = gl.texturingOn(stage);
    const bool computed =
        cpugeneration && textured && (index & 0xFFFF0000u) != 0;
    const auto set = static_cast<int>(index & 0xFFFF);
    const bool used = computed || (textured && set < layout.texcoordsets);
    gl.clientArray(2 + stage, used);
    if (!used)
      continue;
    gl.activeUnit(stage);
    if (computed)
      generatedCoordinates(state, stage, base, vertexCount);
    else
      glTexCoordPointer(2, GL_FLOAT, stride, base + layout.texcoord[set]);
  }
}

void GlBackend::generatedCoordinates(const DeviceState &state, int stage,
                                     const std::uint8_t *base,
                                     std::uint32_t vertexCount) {
  std::vector<float> &coordinates = generated[stage];
  generateStageCoordinates(state, stage, base, vertexCount, layout.normal,
                           coordinates);
  glTexCoordPointer(2, GL_FLOAT, 0, coordinates.data());
}

} // namespace korvane
