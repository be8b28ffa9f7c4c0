#pragma once

// How Direct3D 8's fixed-function state becomes OpenGL's, where no GL call
// or enum is needed: the clip-space and screen matrices, the texture
// matrix, which stages sample. Every GL backend reads the same rules, so
// that they draw alike.

#include "base/math3d.h"
#include "device/d3d_types.h"

namespace korvane::fixedfn {

// Direct3D's clip depth runs 0..w, GL's -w..w: z' = 2z - w. Direct3D's
// pixel centres lie on whole window coordinates, GL's half a pixel right
// and down (in Direct3D's downward y): x' = x + w/width, y' = y - w/height.
inline Matrix projectionToGl(const Matrix &projection, int width, int height) {
  Matrix fix = matrixIdentity();
  fix.m[2][2] = 2.0f;
  fix.m[3][2] = -1.0f;
  fix.m[3][0] = 1.0f / static_cast<float>(width);
  fix.m[3][1] = -1.0f / static_cast<float>(height);
  return matrixMultiply(projection, fix);
}

// Pre-transformed vertices are screen pixels whose centres lie on whole
// numbers, as in Direct3D.
inline Matrix screenToGl(int width, int height) {
  Matrix ortho;
  ortho.m[0][0] = 2.0f / static_cast<float>(width);
  ortho.m[1][1] = -2.0f / static_cast<float>(height);
  ortho.m[2][2] = 2.0f;
  ortho.m[3][0] = -1.0f + 1.0f / static_cast<float>(width);
  ortho.m[3][1] = 1.0f - 1.0f / static_cast<float>(height);
  ortho.m[3][2] = -1.0f;
  ortho.m[3][3] = 1.0f;
  return ortho;
}

// Counter-clockwise culling removes what appears counter-clockwise on the
// screen, which GL's window coordinates show the same way.
inline bool culls(std::uint32_t cull) {
  return cull == D3DCULL_CW || cull == D3DCULL_CCW;
}
inline bool frontFaceClockwise(std::uint32_t cull) {
  return cull == D3DCULL_CCW;
}

// Whether a stage samples its texture: a stage with no texture passes its
// input through, and a disabled stage ends the cascade.
template <typename State> bool stageSamples(const State &state, int stage) {
  const bool cascade =
      stage == 0 ||
      state.stagestate[stage - 1][D3DTSS_COLOROP] != D3DTOP_DISABLE;
  return cascade && state.texture[stage] &&
         state.stagestate[stage][D3DTSS_COLOROP] != D3DTOP_DISABLE;
}

// GL's texture matrix for a stage's Direct3D transform. Two-component
// coordinates from the vertices enter Direct3D's transform as (u, v, 1) and
// GL's as (u, v, 0, 1), so their translation is the matrix's third row;
// generated coordinates enter both alike. GL divides by q, Direct3D only
// when the flags say projected.
inline Matrix textureMatrix(const Matrix &transform, std::uint32_t flags,
                            bool generated) {
  if (flags == D3DTTFF_DISABLE)
    return matrixIdentity();
  Matrix m = transform;
  if (!generated)
    for (int j = 0; j < 4; ++j)
      m.m[3][j] = m.m[2][j];
  if (!(flags & D3DTTFF_PROJECTED)) {
    for (int i = 0; i < 3; ++i)
      m.m[i][3] = 0.0f;
    m.m[3][3] = 1.0f;
  }
  return m;
}

// One half (colour or alpha) of a stage's combiner: replace with the first
// source, or modulate the two. Sources: the stage's texture, the vertex
// (lit) colour, or what the stage before gave.
enum class Source { Texture, Diffuse, Previous };
struct Combine {
  bool modulate;
  Source source0, source1;
};

inline Source combineSource(std::uint32_t arg) {
  switch (arg & 0xF) {
  case D3DTA_TEXTURE:
    return Source::Texture;
  case D3DTA_DIFFUSE:
    return Source::Diffuse;
  default:
    return Source::Previous;
  }
}

inline Combine combine(std::uint32_t op, std::uint32_t arg1,
                       std::uint32_t arg2) {
  bool modulate = true;
  std::uint32_t first = arg1;
  if (op == D3DTOP_SELECTARG1) {
    modulate = false;
  } else if (op == D3DTOP_SELECTARG2) {
    modulate = false;
    first = arg2;
  } else if (op == D3DTOP_DISABLE) {
    modulate = false;
    first = D3DTA_CURRENT;
  }
  return {modulate, combineSource(first), combineSource(arg2)};
}

// The generated coordinates a stage asks for: none, the camera-space normal
// or, for every other generation, the reflection vector.
enum class Generation { None, Normal, Reflection };
inline Generation generation(std::uint32_t texcoordindex) {
  const std::uint32_t mode = texcoordindex & 0xFFFF0000u;
  return mode == 0                              ? Generation::None
         : mode == D3DTSS_TCI_CAMERASPACENORMAL ? Generation::Normal
                                                : Generation::Reflection;
}

} // namespace korvane::fixedfn
