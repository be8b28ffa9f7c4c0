// The state check: before a draw, GL's real state (read back with glGet*)
// against what the device's Direct3D state requires, independently of the
// cache and of which groups were marked. A cache that disagrees with GL, or
// a group left unmarked, shows here as a named difference.

#include "device/gl/gl_backend.h"
#include "device/gl/gl_mapping.h"
#include "device/texgen.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace korvane {
namespace {

// Collects the differences, each naming the state, what GL holds and what
// the device needs.
struct Differences {
  std::vector<std::string> found;

  void integer(const char *name, long has, long wants) {
    if (has != wants)
      found.push_back(std::string(name) + ": GL has " + std::to_string(has) +
                      ", the device needs " + std::to_string(wants));
  }
  void capability(const char *name, GLenum cap, bool wants) {
    integer(name, glIsEnabled(cap) ? 1 : 0, wants ? 1 : 0);
  }
  void state(const char *name, GLenum pname, long wants) {
    GLint has = 0;
    glGetIntegerv(pname, &has);
    integer(name, has, wants);
  }
  void floats(const std::string &name, const float *has, const float *wants,
              int count) {
    for (int i = 0; i < count; ++i) {
      const float scale = std::max(1.0f, std::fabs(wants[i]));
      if (!(std::fabs(has[i] - wants[i]) <= 1e-5f * scale)) {
        found.push_back(name + "[" + std::to_string(i) + "]: GL has " +
                        std::to_string(has[i]) + ", the device needs " +
                        std::to_string(wants[i]));
        return;
      }
    }
  }
  void matrix(const std::string &name, GLenum pname, const Matrix &wants) {
    float has[16];
    glGetFloatv(pname, has);
    floats(name, has, &wants.m[0][0], 16);
  }
};

void colorOf(float *out, const ColorValue &c) {
  out[0] = c.r;
  out[1] = c.g;
  out[2] = c.b;
  out[3] = c.a;
}

void checkOutput(Differences &d, const std::uint32_t *rs) {
  d.capability("blending", GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != 0);
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    const auto factors =
        glmap::blendFactors(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND]);
    d.state("source blend factor", GL_BLEND_SRC_RGB, factors[0]);
    d.state("destination blend factor", GL_BLEND_DST_RGB, factors[1]);
  }
  d.capability("depth test", GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != D3DZB_FALSE);
  d.state("depth function", GL_DEPTH_FUNC, glmap::compareFunc(rs[D3DRS_ZFUNC]));
  d.state("depth write mask", GL_DEPTH_WRITEMASK, rs[D3DRS_ZWRITEENABLE] != 0);
  d.capability("alpha test", GL_ALPHA_TEST, rs[D3DRS_ALPHATESTENABLE] != 0);
  if (rs[D3DRS_ALPHATESTENABLE]) {
    d.state("alpha test function", GL_ALPHA_TEST_FUNC,
            glmap::compareFunc(rs[D3DRS_ALPHAFUNC]));
    float has = 0,
          wants = static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f;
    glGetFloatv(GL_ALPHA_TEST_REF, &has);
    d.floats("alpha test reference", &has, &wants, 1);
  }
  const std::uint32_t cull = rs[D3DRS_CULLMODE];
  d.capability("culling", GL_CULL_FACE, glmap::culls(cull));
  if (glmap::culls(cull)) {
    d.state("front face", GL_FRONT_FACE, glmap::frontFace(cull));
    d.state("culled face", GL_CULL_FACE_MODE, GL_BACK);
  }
  d.capability("dithering", GL_DITHER, rs[D3DRS_DITHERENABLE] != 0);
  d.capability("scissor test", GL_SCISSOR_TEST, false);
  GLboolean mask[4];
  glGetBooleanv(GL_COLOR_WRITEMASK, mask);
  d.integer("colour write mask",
            (mask[0] << 3) | (mask[1] << 2) | (mask[2] << 1) | mask[3], 0xE);
}

void checkLights(Differences &d, const DeviceState &state) {
  for (int i = 0; i < maxLights; ++i) {
    const std::string name = "light " + std::to_string(i);
    const GLenum light = GL_LIGHT0 + static_cast<GLenum>(i);
    d.capability(name.c_str(), light, state.lightenabled[i]);
    if (!state.lightenabled[i])
      continue;
    const Light &l = state.lights[i];
    float has[4], wants[4];
    glGetLightfv(light, GL_DIFFUSE, has);
    colorOf(wants, l.diffuse);
    d.floats(name + " diffuse", has, wants, 4);
    // GL holds the position in eye space: placed through the view.
    const bool directional = l.type == D3DLIGHT_DIRECTIONAL;
    const float at[4] = {directional ? -l.direction[0] : l.position[0],
                         directional ? -l.direction[1] : l.position[1],
                         directional ? -l.direction[2] : l.position[2],
                         directional ? 0.0f : 1.0f};
    for (int j = 0; j < 4; ++j)
      wants[j] = at[0] * state.view.m[0][j] + at[1] * state.view.m[1][j] +
                 at[2] * state.view.m[2][j] + at[3] * state.view.m[3][j];
    glGetLightfv(light, GL_POSITION, has);
    d.floats(name + " position", has, wants, 4);
  }
}

void checkLighting(Differences &d, const DeviceState &state, bool lit,
                   bool diffuse) {
  d.capability("lighting", GL_LIGHTING, lit);
  d.capability("colour material", GL_COLOR_MATERIAL, lit && diffuse);
  d.capability("normalize", GL_NORMALIZE,
               state.renderstate[D3DRS_NORMALIZENORMALS] != 0);
  if (!lit)
    return;
  float has[4], wants[4];
  glGetFloatv(GL_LIGHT_MODEL_AMBIENT, has);
  colorFloats(state.renderstate[D3DRS_AMBIENT], wants);
  d.floats("ambient level", has, wants, 4);
  const Material &m = state.material;
  const std::pair<GLenum, const ColorValue *> colors[] = {
      {GL_AMBIENT, &m.ambient},
      {GL_SPECULAR, &m.specular},
      {GL_EMISSION, &m.emissive},
      {GL_DIFFUSE, &m.diffuse}};
  for (const auto &[pname, color] : colors) {
    if (pname == GL_DIFFUSE && diffuse)
      continue; // the vertex colours stand in for it
    glGetMaterialfv(GL_FRONT, pname, has);
    colorOf(wants, *color);
    d.floats("material colour " + std::to_string(pname), has, wants, 4);
  }
  checkLights(d, state);
}

} // namespace

void GlBackend::checkStage(const DeviceState &state, int stage,
                           std::vector<std::string> &found) {
  Differences d;
  const std::string name = "stage " + std::to_string(stage) + " ";
  const std::uint32_t *ts = state.stagestate[stage];
  glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(stage));
  const bool samples = glmap::stageSamples(state, stage);
  d.capability((name + "texturing").c_str(), GL_TEXTURE_2D, samples);
  const std::uint32_t generation = ts[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u;
  const bool generating =
      samples && !layout.pretransformed && generation != 0 && !cpugeneration;
  d.capability((name + "coordinate generation").c_str(), GL_TEXTURE_GEN_S,
               generating);
  if (samples) {
    const auto entry = textures.find(state.texture[stage]);
    if (entry == textures.end()) {
      d.found.push_back(name + "texture: GL holds none for it");
    } else {
      d.state((name + "texture binding").c_str(), GL_TEXTURE_BINDING_2D,
              entry->second.name);
      d.integer((name + "texture content version").c_str(),
                long(entry->second.version),
                long(state.texture[stage]->version()));
    }
    const auto parameters = glmap::textureParameters(ts);
    const GLenum names[] = {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER,
                            GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T};
    for (int i = 0; i < 4; ++i) {
      GLint has = 0;
      glGetTexParameteriv(GL_TEXTURE_2D, names[i], &has);
      d.integer((name + "filter or wrap " + std::to_string(i)).c_str(), has,
                parameters[i]);
    }
    const glmap::Combine colour = glmap::combine(
        ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2]);
    const glmap::Combine alpha = glmap::combine(
        ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2]);
    const std::pair<GLenum, GLint> env[] = {
        {GL_TEXTURE_ENV_MODE, GL_COMBINE},  {GL_COMBINE_RGB, colour.function},
        {GL_SRC0_RGB, colour.source0},      {GL_SRC1_RGB, colour.source1},
        {GL_COMBINE_ALPHA, alpha.function}, {GL_SRC0_ALPHA, alpha.source0},
        {GL_SRC1_ALPHA, alpha.source1}};
    for (const auto &[pname, wants] : env) {
      GLint has = 0;
      glGetTexEnviv(GL_TEXTURE_ENV, pname, &has);
      d.integer((name + "combiner " + std::to_string(pname)).c_str(), has,
                wants);
    }
    d.matrix(name + "texture matrix", GL_TEXTURE_MATRIX,
             layout.pretransformed || (cpugeneration && generation != 0)
                 ? matrixIdentity()
                 : glmap::textureMatrix(state.texturetransform[stage],
                                        ts[D3DTSS_TEXTURETRANSFORMFLAGS],
                                        generation != 0));
  }
  found.insert(found.end(), d.found.begin(), d.found.end());
}

void GlBackend::checkState(const DeviceState &state) {
  Differences d;
  // The format as decoded when it was bound, against the state's own.
  const VertexLayout wanted = vertexLayout(state.fvf);
  const bool pretransformed = wanted.pretransformed;
  d.integer("pre-transformed vertices", layout.pretransformed, pretransformed);
  d.integer("vertex colours", layout.diffuse >= 0, wanted.diffuse >= 0);
  checkOutput(d, state.renderstate);
  const Matrix modelview = pretransformed
                               ? matrixIdentity()
                               : matrixMultiply(state.world, state.view);
  if (!pretransformed)
    d.integer("coordinates generated here", cpugeneration, flattens(modelview));
  d.matrix("modelview matrix", GL_MODELVIEW_MATRIX, modelview);
  d.matrix("projection matrix", GL_PROJECTION_MATRIX,
           pretransformed
               ? glmap::screenToGl(width, height)
               : glmap::projectionToGl(state.projection, width, height));
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  for (int i = 0; i < 4; ++i)
    d.integer("viewport", viewport[i], view[i]);
  checkLighting(d, state, !pretransformed && state.renderstate[D3DRS_LIGHTING],
                wanted.diffuse >= 0);
  d.capability("normal array", GL_NORMAL_ARRAY, wanted.normal >= 0);
  d.capability("colour array", GL_COLOR_ARRAY, wanted.diffuse >= 0);
  // Reading a unit's state means making it active: GL's own choice of unit
  // is put back, so that the cache still knows it.
  GLint unit = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  if (const std::optional<int> &held = gl.activeUnitHeld())
    d.integer("active texture unit", unit - GL_TEXTURE0, *held);
  for (int stage = 0; stage < maxStages; ++stage)
    checkStage(state, stage, d.found);
  glActiveTexture(static_cast<GLenum>(unit));
  for (const std::string &difference : d.found)
    statefailed(difference);
}

void GlBackend::checkStates(std::function<void(const std::string &)> failed) {
  statefailed = std::move(failed);
}

} // namespace korvane
