// The binders of the output-merger and transform and lighting groups.

#include "device/gl/gl_backend.h"
#include "device/gl/gl_mapping.h"
#include "device/texgen.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

namespace korvane {
namespace {

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
  const auto factors =
      glmap::blendFactors(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND]);
  gl.blendFunction(factors[0], factors[1]);
}

void GlBackend::bindDepth(const DeviceState &state) {
  const std::uint32_t *rs = state.renderstate;
  gl.enable(GlCache::DepthTest, rs[D3DRS_ZENABLE] != D3DZB_FALSE);
  gl.depthFunction(glmap::compareFunc(rs[D3DRS_ZFUNC]));
  gl.depthMask(rs[D3DRS_ZWRITEENABLE] != 0);
}

void GlBackend::bindAlphaTest(const DeviceState &state) {
  const std::uint32_t *rs = state.renderstate;
  gl.enable(GlCache::AlphaTest, rs[D3DRS_ALPHATESTENABLE] != 0);
  if (rs[D3DRS_ALPHATESTENABLE])
    gl.alphaFunction(glmap::compareFunc(rs[D3DRS_ALPHAFUNC]),
                     static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f);
}

void GlBackend::bindRaster(const DeviceState &state) {
  const std::uint32_t cull = state.renderstate[D3DRS_CULLMODE];
  gl.enable(GlCache::CullFace, glmap::culls(cull));
  if (glmap::culls(cull))
    gl.frontFace(glmap::frontFace(cull));
  gl.enable(GlCache::Dither, state.renderstate[D3DRS_DITHERENABLE] != 0);
}

void GlBackend::bindTransforms(const DeviceState &state) {
  bool flattening = false;
  if (layout.pretransformed) {
    gl.loadMatrix(GlCache::Projection, glmap::screenToGl(width, height));
    gl.loadMatrix(GlCache::Modelview, matrixIdentity());
  } else {
    gl.loadMatrix(GlCache::Projection,
                  glmap::projectionToGl(state.projection, width, height));
    const Matrix modelview = matrixMultiply(state.world, state.view);
    gl.loadMatrix(GlCache::Modelview, modelview);
    flattening = flattens(modelview);
  }
  // Generated coordinates follow whether the transform flattens.
  cpugeneration = flattening;
}

void GlBackend::bindLighting(const DeviceState &state) {
  const bool lit =
      !layout.pretransformed && state.renderstate[D3DRS_LIGHTING] != 0;
  gl.enable(GlCache::Lighting, lit);
  gl.enable(GlCache::ColorMaterial, lit && layout.diffuse >= 0);
  gl.enable(GlCache::Normalize, state.renderstate[D3DRS_NORMALIZENORMALS] != 0);
  if (!lit)
    return;
  if (gl.ambient != state.renderstate[D3DRS_AMBIENT]) {
    const std::uint32_t a = state.renderstate[D3DRS_AMBIENT];
    float ambient[4];
    colorFloats(a, ambient);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    gl.ambient = a;
  }
  if (gl.material != state.material) {
    sendMaterial(state.material);
    gl.material = state.material;
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
