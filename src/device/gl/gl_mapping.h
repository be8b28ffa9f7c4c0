#pragma once

// How Direct3D 8 values become GL's: shared by the binders and by the
// state check, which must agree on what a state requires.

#include "base/math3d.h"
#include "device/d3d_types.h"
#include "device/fixed_function.h"

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

using fixedfn::culls;
using fixedfn::projectionToGl;
using fixedfn::screenToGl;

inline GLenum frontFace(std::uint32_t cull) {
  return cull == D3DCULL_CCW ? GL_CW : GL_CCW;
}

} // namespace korvane::glmap

namespace korvane::glmap {

using fixedfn::stageSamples;

// A stage's filters and wrapping, which belong to the texture object in GL.
inline std::array<int, 4> textureParameters(const std::uint32_t *ts) {
  return {
      ts[D3DTSS_MINFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST,
      ts[D3DTSS_MAGFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST,
      ts[D3DTSS_ADDRESSU] == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT,
      ts[D3DTSS_ADDRESSV] == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT};
}

using fixedfn::textureMatrix;

} // namespace korvane::glmap

namespace korvane::glmap {

// One half (colour or alpha) of a stage's combiner: GL's function and its
// two sources for a Direct3D operation and arguments.
struct Combine {
  GLint function, source0, source1;
};

inline GLint combineSource(fixedfn::Source source) {
  switch (source) {
  case fixedfn::Source::Texture:
    return GL_TEXTURE;
  case fixedfn::Source::Diffuse:
    return GL_PRIMARY_COLOR;
  default:
    return GL_PREVIOUS;
  }
}

inline Combine combine(std::uint32_t op, std::uint32_t arg1,
                       std::uint32_t arg2) {
  const fixedfn::Combine c = fixedfn::combine(op, arg1, arg2);
  return {c.modulate ? GL_MODULATE : GL_REPLACE, combineSource(c.source0),
          combineSource(c.source1)};
}

} // namespace korvane::glmap
