#pragma once

// Direct3D 8's comparison and blend values as OpenGL ES's, with the same
// choices device/gl makes for values Direct3D leaves without a meaning.

#include "device/d3d_types.h"

#include <GLES3/gl3.h>

#include <array>
#include <cstdint>

namespace korvane::glesmap {

inline GLenum compareFunc(std::uint32_t d3d) {
  static const GLenum table[] = {GL_NEVER,    GL_NEVER,  GL_LESS,
                                 GL_EQUAL,    GL_LEQUAL, GL_GREATER,
                                 GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return d3d >= 1 && d3d <= 8 ? table[d3d] : GL_LEQUAL;
}

// The back buffer is X8R8G8B8: the destination alpha read is 1; values
// without a meaning blend with ZERO, as Wine's Direct3D 8 does.
inline GLenum blendFactor(std::uint32_t d3d) {
  switch (d3d) {
  case D3DBLEND_ONE:
  case D3DBLEND_DESTALPHA:
    return GL_ONE;
  case D3DBLEND_SRCCOLOR:
    return GL_SRC_COLOR;
  case D3DBLEND_INVSRCCOLOR:
    return GL_ONE_MINUS_SRC_COLOR;
  case D3DBLEND_SRCALPHA:
    return GL_SRC_ALPHA;
  case D3DBLEND_INVSRCALPHA:
    return GL_ONE_MINUS_SRC_ALPHA;
  case D3DBLEND_DESTCOLOR:
    return GL_DST_COLOR;
  case D3DBLEND_INVDESTCOLOR:
    return GL_ONE_MINUS_DST_COLOR;
  case D3DBLEND_SRCALPHASAT:
    return GL_SRC_ALPHA_SATURATE;
  default:
    return GL_ZERO;
  }
}

// The legacy source values set both factors.
inline std::array<GLenum, 2> blendFactors(std::uint32_t source,
                                          std::uint32_t destination) {
  if (source == D3DBLEND_BOTHSRCALPHA)
    return {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
  if (source == D3DBLEND_BOTHINVSRCALPHA)
    return {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA};
  return {blendFactor(source), blendFactor(destination)};
}

// A stage's filters and wrapping.
inline std::array<int, 4> textureParameters(const std::uint32_t *ts) {
  return {
      ts[D3DTSS_MINFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST,
      ts[D3DTSS_MAGFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST,
      ts[D3DTSS_ADDRESSU] == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT,
      ts[D3DTSS_ADDRESSV] == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT};
}

} // namespace korvane::glesmap
