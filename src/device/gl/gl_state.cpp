// The binders of the output-merger and transform and lighting groups.

#include "device/gl/gl_backend.h"
#include "device/texgen.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

namespace korvane {
namespace {

GLenum compareFunc(std::uint32_t d3d) {
  static const GLenum table[] = {GL_NEVER,    GL_NEVER,  GL_LESS,
                                 GL_EQUAL,    GL_LEQUAL, GL_GREATER,
                                 GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return d3d >= 1 && d3d <= 8 ? table[d3d] : GL_LEQUAL;
}

constexpr GLenum noFactor = ~0u; // GL_ZERO is 0

// GL's factor for a Direct3D blend value, or noFactor where Direct3D 8 has
// none (0, 14 on, and the two legacy values that only a source names).
// The back buffer is X8R8G8B8: the destination alpha it reads is 1.
GLenum blendFactor(std::uint32_t d3d) {
  switch (d3d) {
  case D3DBLEND_ZERO:
    return GL_ZERO;
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
  case D3DBLEND_INVDESTALPHA:
    return GL_ZERO;
  case D3DBLEND_DESTCOLOR:
    return GL_DST_COLOR;
  case D3DBLEND_INVDESTCOLOR:
    return GL_ONE_MINUS_DST_COLOR;
  case D3DBLEND_SRCALPHASAT:
    return GL_SRC_ALPHA_SATURATE;
  default:
    return noFactor;
  }
}

// Direct3D's clip depth runs 0..w, GL's -w..w: z' = 2z - w. Direct3D's
// pixel centres lie on whole window coordinates, GL's half a pixel right
// and down (in Direct3D's downward y): x' = x + w/width, y' = y - w/height.
Matrix projectionToGl(const Matrix &projection, int width, int height) {
  Matrix fix = matrixIdentity();
  fix.m[2][2] = 2.0f;
  fix.m[3][2] = -1.0f;
  fix.m[3][0] = 1.0f / static_cast<float>(width);
  fix.m[3][1] = -1.0f / static_cast<float>(height);
  return matrixMultiply(projection, fix);
}

// Pre-transformed vertices are screen pixels whose centres lie on whole
// numbers, as in Direct3D.
Matrix screenToGl(int width, int height) {
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

void colorOf(float *out, const ColorValue &c) {
  out[0] = c.r;
  out[1] = c.g;
  out[2] = c.b;
  out[3] = c.a;
}

void sendMaterial(const Material &m) {
  float color[4];
  colorOf(color, m.diffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, color);
  colorOf(color, m.ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, color);
  colorOf(color, m.specular);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, color);
  colorOf(color, m.emissive);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, color);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS,
              m.power < 0 ? 0 : (m.power > 128 ? 128 : m.power));
}

// A light placed in world space: GL takes its position through the
// modelview matrix loaded when it is given, here the view alone.
void sendLight(GLenum light, const Light &l) {
  float color[4];
  colorOf(color, l.diffuse);
  glLightfv(light, GL_DIFFUSE, color);
  colorOf(color, l.specular);
  glLightfv(light, GL_SPECULAR, color);
  colorOf(color, l.ambient);
  glLightfv(light, GL_AMBIENT, color);
  if (l.type == D3DLIGHT_DIRECTIONAL) {
    // GL points at the light; Direct3D gives the way the light goes.
    const float towards[4] = {-l.direction[0], -l.direction[1], -l.direction[2],
                              0.0f};
    glLightfv(light, GL_POSITION, towards);
  } else {
    const float at[4] = {l.position[0], l.position[1], l.position[2], 1.0f};
    glLightfv(light, GL_POSITION, at);
  }
}

} // namespace

void GlBackend::bindBlend(const DeviceState &state) {
  const std::uint32_t *rs = state.renderstate;
  gl.enable(GlCache::Blend, rs[D3DRS_ALPHABLENDENABLE] != 0);
  if (!rs[D3DRS_ALPHABLENDENABLE])
    return;
  // The legacy source values set both factors. A pair with a value that
  // has no factor (an unknown name in the script) is refused as a whole,
  // as Direct3D 8 refuses it: the last pair stays.
  const std::uint32_t source = rs[D3DRS_SRCBLEND];
  GLenum src = blendFactor(source);
  GLenum dst = blendFactor(rs[D3DRS_DESTBLEND]);
  if (source == D3DBLEND_BOTHSRCALPHA) {
    src = GL_SRC_ALPHA;
    dst = GL_ONE_MINUS_SRC_ALPHA;
  } else if (source == D3DBLEND_BOTHINVSRCALPHA) {
    src = GL_ONE_MINUS_SRC_ALPHA;
    dst = GL_SRC_ALPHA;
  }
  if (src != noFactor && dst != noFactor)
    gl.blendFunction(src, dst);
}

void GlBackend::bindDepth(const DeviceState &state) {
  const std::uint32_t *rs = state.renderstate;
  gl.enable(GlCache::DepthTest, rs[D3DRS_ZENABLE] != D3DZB_FALSE);
  gl.depthFunction(compareFunc(rs[D3DRS_ZFUNC]));
  gl.depthMask(rs[D3DRS_ZWRITEENABLE] != 0);
}

void GlBackend::bindAlphaTest(const DeviceState &state) {
  const std::uint32_t *rs = state.renderstate;
  gl.enable(GlCache::AlphaTest, rs[D3DRS_ALPHATESTENABLE] != 0);
  if (rs[D3DRS_ALPHATESTENABLE])
    gl.alphaFunction(compareFunc(rs[D3DRS_ALPHAFUNC]),
                     static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f);
}

void GlBackend::bindRaster(const DeviceState &state) {
  // Counter-clockwise culling removes what appears counter-clockwise on
  // the screen, which GL's window coordinates show the same way.
  const std::uint32_t cull = state.renderstate[D3DRS_CULLMODE];
  const bool culling = cull == D3DCULL_CW || cull == D3DCULL_CCW;
  gl.enable(GlCache::CullFace, culling);
  if (culling)
    gl.frontFace(cull == D3DCULL_CCW ? GL_CW : GL_CCW);
  gl.enable(GlCache::Dither, state.renderstate[D3DRS_DITHERENABLE] != 0);
}

void GlBackend::bindTransforms(const DeviceState &state, std::uint32_t &dirty) {
  bool flattening = false;
  if (pretransformed) {
    gl.loadMatrix(GlCache::Projection, screenToGl(width, height));
    gl.loadMatrix(GlCache::Modelview, matrixIdentity());
  } else {
    gl.loadMatrix(GlCache::Projection,
                  projectionToGl(state.projection, width, height));
    const Matrix modelview = matrixMultiply(state.world, state.view);
    gl.loadMatrix(GlCache::Modelview, modelview);
    flattening = flattens(modelview);
  }
  // Lights are placed through the view; generated coordinates follow
  // whether the transform flattens.
  dirty |= GROUP_LIGHTING;
  if (flattening != cpugeneration)
    dirty |= GROUP_STAGE0 | GROUP_STAGE1;
  cpugeneration = flattening;
}

void GlBackend::bindLighting(const DeviceState &state) {
  const bool lit = !pretransformed && state.renderstate[D3DRS_LIGHTING] != 0;
  gl.enable(GlCache::Lighting, lit);
  gl.enable(GlCache::ColorMaterial, lit && diffuse);
  gl.enable(GlCache::Normalize, state.renderstate[D3DRS_NORMALIZENORMALS] != 0);
  if (!lit)
    return;
  if (gl.ambient != state.renderstate[D3DRS_AMBIENT]) {
    const std::uint32_t a = state.renderstate[D3DRS_AMBIENT];
    float ambient[4];
    colorFloats(a, ambient);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    gl.ambient = a;
    ++gl.calls;
  }
  if (gl.material != state.material) {
    sendMaterial(state.material);
    gl.material = state.material;
    ++gl.calls;
  }
  bool placed = false;
  for (int i = 0; i < maxLights; ++i) {
    const auto slot = static_cast<GlCache::Capability>(GlCache::Light0 + i);
    gl.enable(slot, state.lightenabled[i]);
    if (!state.lightenabled[i] ||
        (gl.lights[i] == state.lights[i] && gl.lightviews[i] == state.view))
      continue;
    gl.loadMatrix(GlCache::Modelview, state.view);
    sendLight(GL_LIGHT0 + static_cast<GLenum>(i), state.lights[i]);
    gl.lights[i] = state.lights[i];
    gl.lightviews[i] = state.view;
    placed = true;
  }
  if (placed)
    gl.loadMatrix(GlCache::Modelview, matrixMultiply(state.world, state.view));
}

} // namespace korvane
