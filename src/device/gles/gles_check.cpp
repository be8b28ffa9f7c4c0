// The state check of the GLES backend: before a draw, the program GL uses
// and its uniforms (read back with glGetUniform*), and GL's other state,
// against what the device's Direct3D state requires, worked out again
// from the state alone. A uniform changed behind the backend's back, a
// stale key or a group left unmarked shows here as a named difference.

#include "device/gles/gles_backend.h"
#include "device/gles/gles_mapping.h"
#include "device/texgen.h"

#include <GLES3/gl3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvane {
namespace {

struct Differences {
  std::vector<std::string> found;

  void integer(const std::string &name, long has, long wants) {
    if (has != wants)
      found.push_back(std::string(name)
                          .append(": GL has ")
                          .append(std::to_string(has))
                          .append(", the device needs ")
                          .append(std::to_string(wants)));
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
      // NaN where the device's own arithmetic gives NaN matches NaN.
      if (std::isnan(wants[i]) && std::isnan(has[i]))
        continue;
      if (!(std::fabs(has[i] - wants[i]) <= 1e-5f * scale)) {
        found.push_back(std::string(name)
                            .append("[")
                            .append(std::to_string(i))
                            .append("]: GL has ")
                            .append(std::to_string(has[i]))
                            .append(", the device needs ")
                            .append(std::to_string(wants[i])));
        return;
      }
    }
  }
  // A uniform of `count` floats at `location` in `program`, read back.
  void uniform(const std::string &name, GLuint program, int location,
               const float *wants, int count) {
    if (location < 0)
      return;
    float has[16] = {};
    glGetUniformfv(program, location, has);
    floats("uniform " + name, has, wants, count);
  }
};

void checkOutput(Differences &d, const std::uint32_t *rs) {
  d.capability("blending", GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != 0);
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    const auto factors =
        glesmap::blendFactors(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND]);
    d.state("source blend factor", GL_BLEND_SRC_RGB, factors[0]);
    d.state("destination blend factor", GL_BLEND_DST_RGB, factors[1]);
  }
  d.capability("depth test", GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != D3DZB_FALSE);
  d.state("depth function", GL_DEPTH_FUNC,
          glesmap::compareFunc(rs[D3DRS_ZFUNC]));
  d.state("depth write mask", GL_DEPTH_WRITEMASK, rs[D3DRS_ZWRITEENABLE] != 0);
  const std::uint32_t cull = rs[D3DRS_CULLMODE];
  d.capability("culling", GL_CULL_FACE, fixedfn::culls(cull));
  if (fixedfn::culls(cull)) {
    d.state("front face", GL_FRONT_FACE,
            fixedfn::frontFaceClockwise(cull) ? GL_CW : GL_CCW);
    d.state("culled face", GL_CULL_FACE_MODE, GL_BACK);
  }
  d.capability("dithering", GL_DITHER, rs[D3DRS_DITHERENABLE] != 0);
  d.capability("scissor test", GL_SCISSOR_TEST, false);
  GLboolean mask[4];
  glGetBooleanv(GL_COLOR_WRITEMASK, mask);
  d.integer("colour write mask",
            (mask[0] << 3) | (mask[1] << 2) | (mask[2] << 1) | mask[3], 0xE);
}

void checkUniforms(Differences &d, const GlesProgram &program,
                   const Uniforms &u) {
  const GlesProgram::Locations &at = program.locations();
  const GLuint name = program.name();
  d.uniform("mvp", name, at.mvp, &u.mvp.m[0][0], 16);
  d.uniform("modelview", name, at.modelview, &u.modelview.m[0][0], 16);
  d.uniform("normal matrix", name, at.normal, u.normal, 9);
  for (int s = 0; s < maxStages; ++s)
    d.uniform(std::string("texture matrix ").append(std::to_string(s)), name,
              at.texture[s], &u.texture[s].m[0][0], 16);
  d.uniform("scene colour", name, at.scene, u.scene, 4);
  d.uniform("shininess", name, at.shininess, &u.shininess, 1);
  d.uniform("alpha reference", name, at.alpharef, &u.alpharef, 1);
  if (at.lightposition < 0)
    return;
  for (int i = 0; i < maxLights; ++i) {
    const std::string n =
        std::string("[").append(std::to_string(i)).append("]");
    auto element = [&](const char *array, const float *wants) {
      const std::string element = std::string(array).append(n);
      d.uniform(element, name, glGetUniformLocation(name, element.c_str()),
                wants, 4);
    };
    element("u_lightposition", u.lightposition[i]);
    element("u_lightambient", u.lightambient[i]);
    element("u_lightdiffuse", u.lightdiffuse[i]);
    element("u_lightspecular", u.lightspecular[i]);
  }
}

} // namespace

void GlesBackend::checkState(const DeviceState &state) {
  Differences d;
  const VertexLayout wanted = vertexLayout(state.fvf);
  const bool flattening = !wanted.pretransformed &&
                          flattens(matrixMultiply(state.world, state.view));
  d.integer("pre-transformed vertices", layout.pretransformed,
            wanted.pretransformed);
  d.integer("coordinates generated here", cpugeneration, flattening);
  checkOutput(d, state.renderstate);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  for (int i = 0; i < 4; ++i)
    d.integer("viewport", viewport[i], view[i]);
  // The program in use must be the one made for the state's key.
  const ProgramKey needed = programKey(state, wanted, flattening);
  GLint current = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  const auto made = programs.find(needed.code());
  if (made == programs.end() || !made->second) {
    d.found.push_back("program: none made for the state's key");
  } else {
    d.integer("program", current, long(made->second->name()));
    checkUniforms(d, *made->second,
                  programUniforms(state, wanted, flattening, width, height));
  }
  GLint unit = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  for (int stage = 0; stage < maxStages; ++stage) {
    if (!needed.stage[stage].samples)
      continue;
    const std::string name =
        std::string("stage ").append(std::to_string(stage)).append(" ");
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(stage));
    const auto entry = textures.find(state.texture[stage]);
    if (entry == textures.end()) {
      d.found.push_back(name + "texture: GL holds none for it");
      continue;
    }
    d.state((name + "texture binding").c_str(), GL_TEXTURE_BINDING_2D,
            entry->second.name);
    d.integer(name + "texture content version", long(entry->second.version),
              long(state.texture[stage]->version()));
    const auto parameters = glesmap::textureParameters(state.stagestate[stage]);
    const GLenum names[] = {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER,
                            GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T};
    for (int i = 0; i < 4; ++i) {
      GLint has = 0;
      glGetTexParameteriv(GL_TEXTURE_2D, names[i], &has);
      d.integer(name + "filter or wrap " + std::to_string(i), has,
                parameters[i]);
    }
  }
  glActiveTexture(static_cast<GLenum>(unit));
  for (const std::string &difference : d.found)
    statefailed(difference);
}

void GlesBackend::checkStates(std::function<void(const std::string &)> failed) {
  statefailed = std::move(failed);
}

} // namespace korvane
