#pragma once

// How Direct3D 8 values become GL's: shared by the binders and by the
// state check, which must agree on what a state requires.

#include "base/math3d.h"
#include "device/d3d_types.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <cstdint>

namespace korvane::glmap {

inline GLenum compareFunc(std::uint32_t d3d) {
  static const GLenum table[] = {GL_NEVER,    GL_NEVER,  GL_LESS,
                                 GL_EQUAL,    GL_LEQUAL, GL_GREATER,
                                 GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return d3d >= 1 && d3d <= 8 ? table[d3d] : GL_LEQUAL;
}

// GL's factor for a Direct3D blend value. A value Direct3D 8 gives no
// meaning to (0, 14 on, an unknown name's -1, the two legacy values as a
// destination) blends with ZERO, as Wine's Direct3D 8 does. The back
// buffer is X8R8G8B8: the destination alpha it reads is 1.
inline GLenum blendFactor(std::uint32_t d3d) {
  switch (d3d) {
  case D3DBLEND_ONE:
    return GL_ONE;
  case D3DBLEND_SRCCOLOR:
    return GL_SRC_COLOR;
  case D3DBLEND_INVSRCCOLOR:
    return GL_ONE_MINUS_SRC_COLOR;
  case D3DBLEND_SRCALPHA:
    return GL_SRC_ALPHA;
  case D3DBLEND_INVSRCALPHA:
    return GL_ONE_MINUS_SRC_ALPHA;
  case D3DBLEND_DESTALPHA:
    return GL_ONE;
  case D3DBLEND_DESTCOLOR:
    return GL_DST_COLOR;
  case D3DBLEND_INVDESTCOLOR:
    return GL_ONE_MINUS_DST_COLOR;
  case D3DBLEND_SRCALPHASAT:
    return GL_SRC_ALPHA_SATURATE;
  default: // ZERO, INVDESTALPHA and every value without a meaning
    return GL_ZERO;
  }
}

// The source and destination factors of a pair: the legacy source values
// set both.
inline std::array<GLenum, 2> blendFactors(std::uint32_t source,
                                          std::uint32_t destination) {
  if (source == D3DBLEND_BOTHSRCALPHA)
    return {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
  if (source == D3DBLEND_BOTHINVSRCALPHA)
    return {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA};
  return {blendFactor(source), blendFactor(destination)};
}

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
inline GLenum frontFace(std::uint32_t cull) {
  return cull == D3DCULL_CCW ? GL_CW : GL_CCW;
}

} // namespace korvane::glmap

namespace korvane::glmap {

// Whether a stage samples its texture: a stage with no texture passes its
// input through, and a disabled stage ends the cascade.
template <typename State> bool stageSamples(const State &state, int stage) {
  const bool cascade =
      stage == 0 ||
      state.stagestate[stage - 1][D3DTSS_COLOROP] != D3DTOP_DISABLE;
  return cascade && state.texture[stage] &&
         state.stagestate[stage][D3DTSS_COLOROP] != D3DTOP_DISABLE;
}

// A stage's filters and wrapping, which belong to the texture object in GL.
inline std::array<int, 4> textureParameters(const std::uint32_t *ts) {
  return {
      ts[D3DTSS_MINFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST,
      ts[D3DTSS_MAGFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST,
      ts[D3DTSS_ADDRESSU] == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT,
      ts[D3DTSS_ADDRESSV] == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT};
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

} // namespace korvane::glmap

namespace korvane::glmap {

// One half (colour or alpha) of a stage's combiner: GL's function and its
// two sources for a Direct3D operation and arguments.
struct Combine {
  GLint function, source0, source1;
};

inline GLint combineSource(std::uint32_t arg) {
  switch (arg & 0xF) {
  case D3DTA_TEXTURE:
    return GL_TEXTURE;
  case D3DTA_DIFFUSE:
    return GL_PRIMARY_COLOR;
  default:
    return GL_PREVIOUS;
  }
}

inline Combine combine(std::uint32_t op, std::uint32_t arg1,
                       std::uint32_t arg2) {
  GLint function = GL_MODULATE;
  std::uint32_t first = arg1;
  if (op == D3DTOP_SELECTARG1) {
    function = GL_REPLACE;
  } else if (op == D3DTOP_SELECTARG2) {
    function = GL_REPLACE;
    first = arg2;
  } else if (op == D3DTOP_DISABLE) {
    function = GL_REPLACE;
    first = D3DTA_CURRENT;
  }
  return {function, combineSource(first), combineSource(arg2)};
}

} // namespace korvane::glmap
