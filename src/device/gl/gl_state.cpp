// The binders of the output-merger and transform and lighting groups.

#include "device/gl/gl_backend.h"
#include "device/gl/gl_mapping.h"
#include "device/texgen.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

namespace korvane {
namespace {} // namespace

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
  gl.ambient(state.renderstate[D3DRS_AMBIENT]);
  gl.material(state.material);
  bool placed = false;
  for (int i = 0; i < maxLights; ++i) {
    const auto slot = static_cast<GlCache::Capability>(GlCache::Light0 + i);
    gl.enable(slot, state.lightenabled[i]);
    // Lights are placed through the view alone.
    if (state.lightenabled[i])
      placed = gl.placeLight(i, state.lights[i], state.view) || placed;
  }
  if (placed)
    gl.loadMatrix(GlCache::Modelview, matrixMultiply(state.world, state.view));
}

} // namespace korvane
