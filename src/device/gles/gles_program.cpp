#include "device/gles/gles_program.h"
#include "device/gles/gles_mapping.h"

#include <GLES3/gl3.h>

#include <algorithm>
#include <cmath>

namespace korvane {
namespace {

std::uint64_t combineCode(const fixedfn::Combine &c) {
  return (c.modulate ? 1u : 0u) | (std::uint64_t(c.source0) << 1) |
         (std::uint64_t(c.source1) << 3);
}

// GL's matrix for normals: the transposed inverse of the modelview's upper
// 3x3 by cofactors, as GL's own matrix code forms it, the identity where
// it is singular. Column-major.
void normalMatrixOf(const Matrix &mv, float out[9]) {
  // a(r, c): row r, column c of the column-vector matrix GL holds.
  auto a = [&mv](int r, int c) { return mv.m[c][r]; };
  const float det = a(0, 0) * (a(1, 1) * a(2, 2) - a(2, 1) * a(1, 2)) -
                    a(0, 1) * (a(1, 0) * a(2, 2) - a(2, 0) * a(1, 2)) +
                    a(0, 2) * (a(1, 0) * a(2, 1) - a(2, 0) * a(1, 1));
  float inverse[3][3]; // [row][column]
  if (det * det < 1e-25f) {
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c)
        inverse[r][c] = r == c ? 1.0f : 0.0f;
  } else {
    const float d = 1.0f / det;
    inverse[0][0] = (a(1, 1) * a(2, 2) - a(2, 1) * a(1, 2)) * d;
    inverse[0][1] = -(a(0, 1) * a(2, 2) - a(2, 1) * a(0, 2)) * d;
    inverse[0][2] = (a(0, 1) * a(1, 2) - a(1, 1) * a(0, 2)) * d;
    inverse[1][0] = -(a(1, 0) * a(2, 2) - a(2, 0) * a(1, 2)) * d;
    inverse[1][1] = (a(0, 0) * a(2, 2) - a(2, 0) * a(0, 2)) * d;
    inverse[1][2] = -(a(0, 0) * a(1, 2) - a(1, 0) * a(0, 2)) * d;
    inverse[2][0] = (a(1, 0) * a(2, 1) - a(2, 0) * a(1, 1)) * d;
    inverse[2][1] = -(a(0, 0) * a(2, 1) - a(2, 0) * a(0, 1)) * d;
    inverse[2][2] = (a(0, 0) * a(1, 1) - a(1, 0) * a(0, 1)) * d;
  }
  // The transpose, column-major: column c holds inverse row c.
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r)
      out[c * 3 + r] = inverse[c][r];
}

void product(float out[4], const ColorValue &a, const ColorValue &b) {
  out[0] = a.r * b.r;
  out[1] = a.g * b.g;
  out[2] = a.b * b.b;
  out[3] = a.a * b.a;
}

void colorOf(float out[4], const ColorValue &c) {
  out[0] = c.r;
  out[1] = c.g;
  out[2] = c.b;
  out[3] = c.a;
}

// The lights in eye space, as GL holds them once placed through the view:
// directions pointing at the light, normalised, positions as they are.
void lightUniforms(const DeviceState &state, bool colormaterial, Uniforms &u) {
  const Material &m = state.material;
  for (int i = 0; i < maxLights; ++i) {
    if (!state.lightenabled[i])
      continue;
    const Light &l = state.lights[i];
    const bool directional = l.type == D3DLIGHT_DIRECTIONAL;
    const float at[4] = {directional ? -l.direction[0] : l.position[0],
                         directional ? -l.direction[1] : l.position[1],
                         directional ? -l.direction[2] : l.position[2],
                         directional ? 0.0f : 1.0f};
    float *p = u.lightposition[i];
    for (int j = 0; j < 4; ++j)
      p[j] = at[0] * state.view.m[0][j] + at[1] * state.view.m[1][j] +
             at[2] * state.view.m[2][j] + at[3] * state.view.m[3][j];
    if (directional) {
      const float length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
      if (length > 0.0f)
        for (int j = 0; j < 3; ++j)
          p[j] /= length;
    }
    product(u.lightambient[i], l.ambient, m.ambient);
    if (colormaterial)
      colorOf(u.lightdiffuse[i], l.diffuse);
    else
      product(u.lightdiffuse[i], l.diffuse, m.diffuse);
    product(u.lightspecular[i], l.specular, m.specular);
  }
}

} // namespace

std::uint64_t ProgramKey::code() const {
  std::uint64_t c =
      (lit ? 1u : 0u) | (colormaterial ? 2u : 0u) | (normalize ? 4u : 0u) |
      (alphatest ? 8u : 0u) | (std::uint64_t(alphafunc & 7) << 4) |
      (std::uint64_t(lights) << 8) | (std::uint64_t(positional) << 16);
  for (int s = 0; s < maxStages; ++s) {
    const StageKey &k = stage[s];
    const std::uint64_t bits =
        (k.samples ? 1u : 0u) | (combineCode(k.colour) << 1) |
        (combineCode(k.alpha) << 6) | (std::uint64_t(k.generation) << 11);
    c |= bits << (24 + 13 * s);
  }
  return c;
}

ProgramKey programKey(const DeviceState &state, const VertexLayout &layout,
                      bool cpugeneration) {
  const std::uint32_t *rs = state.renderstate;
  ProgramKey key;
  key.lit = !layout.pretransformed && rs[D3DRS_LIGHTING] != 0;
  bool generating = false;
  for (int s = 0; s < maxStages; ++s) {
    StageKey &k = key.stage[s];
    const std::uint32_t *ts = state.stagestate[s];
    k.samples = fixedfn::stageSamples(state, s);
    if (!k.samples)
      continue;
    k.colour = fixedfn::combine(ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1],
                                ts[D3DTSS_COLORARG2]);
    k.alpha = fixedfn::combine(ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1],
                               ts[D3DTSS_ALPHAARG2]);
    if (!layout.pretransformed && !cpugeneration)
      k.generation = fixedfn::generation(ts[D3DTSS_TEXCOORDINDEX]);
    generating = generating || k.generation != fixedfn::Generation::None;
  }
  key.normalize = (key.lit || generating) && rs[D3DRS_NORMALIZENORMALS] != 0;
  if (key.lit) {
    key.colormaterial = layout.diffuse >= 0;
    for (int i = 0; i < maxLights; ++i)
      if (state.lightenabled[i]) {
        key.lights |= std::uint8_t(1u << i);
        if (state.lights[i].type != D3DLIGHT_DIRECTIONAL)
          key.positional |= std::uint8_t(1u << i);
      }
  }
  key.alphatest = rs[D3DRS_ALPHATESTENABLE] != 0;
  if (key.alphatest)
    key.alphafunc =
        std::uint8_t(glesmap::compareFunc(rs[D3DRS_ALPHAFUNC]) - GL_NEVER);
  return key;
}

Uniforms programUniforms(const DeviceState &state, const VertexLayout &layout,
                         bool cpugeneration, int width, int height) {
  Uniforms u;
  const std::uint32_t *rs = state.renderstate;
  if (layout.pretransformed) {
    u.mvp = fixedfn::screenToGl(width, height);
    u.modelview = matrixIdentity();
  } else {
    u.modelview = matrixMultiply(state.world, state.view);
    u.mvp = matrixMultiply(
        u.modelview, fixedfn::projectionToGl(state.projection, width, height));
  }
  normalMatrixOf(u.modelview, u.normal);
  for (int s = 0; s < maxStages; ++s) {
    const std::uint32_t *ts = state.stagestate[s];
    const bool generated = (ts[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u) != 0;
    u.texture[s] = layout.pretransformed || (cpugeneration && generated)
                       ? matrixIdentity()
                       : fixedfn::textureMatrix(
                             state.texturetransform[s],
                             ts[D3DTSS_TEXTURETRANSFORMFLAGS], generated);
  }
  if (!layout.pretransformed && rs[D3DRS_LIGHTING]) {
    const Material &m = state.material;
    const std::uint32_t level = rs[D3DRS_AMBIENT];
    const float ambient[3] = {float((level >> 16) & 0xFF) / 255.0f,
                              float((level >> 8) & 0xFF) / 255.0f,
                              float(level & 0xFF) / 255.0f};
    u.scene[0] = m.emissive.r + ambient[0] * m.ambient.r;
    u.scene[1] = m.emissive.g + ambient[1] * m.ambient.g;
    u.scene[2] = m.emissive.b + ambient[2] * m.ambient.b;
    u.scene[3] = m.diffuse.a;
    lightUniforms(state, layout.diffuse >= 0, u);
    u.shininess = std::clamp(m.power, 0.0f, 128.0f);
  }
  u.alpharef = float(rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f;
  return u;
}

} // namespace korvane

namespace korvane {
namespace {

// A compiled shader, or 0 with the compiler's log in `log`.
GLuint compile(GLenum type, const std::string &source, std::string &log) {
  const GLuint shader = glCreateShader(type);
  const char *text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok)
    return shader;
  char buffer[2048] = {};
  glGetShaderInfoLog(shader, sizeof buffer, nullptr, buffer);
  log.append(buffer).append("\n").append(source);
  glDeleteShader(shader);
  return 0;
}

} // namespace

GlesProgram::GlesProgram(const ProgramKey &key) : keycode(key.code()) {
  const GLuint vertex = compile(GL_VERTEX_SHADER, vertexShader(key), why);
  const GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentShader(key), why);
  program = glCreateProgram();
  if (vertex && fragment) {
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    linked = ok != 0;
    if (!linked) {
      char buffer[2048] = {};
      glGetProgramInfoLog(program, sizeof buffer, nullptr, buffer);
      why.append(buffer);
    }
  }
  // The program keeps what it linked.
  if (vertex)
    glDeleteShader(vertex);
  if (fragment)
    glDeleteShader(fragment);
  if (!linked)
    return;
  auto at = [this](const char *name) {
    return glGetUniformLocation(program, name);
  };
  where.mvp = at("u_mvp");
  where.modelview = at("u_modelview");
  where.normal = at("u_normal");
  where.texture[0] = at("u_texture0");
  where.texture[1] = at("u_texture1");
  where.scene = at("u_scene");
  where.lightposition = at("u_lightposition");
  where.lightambient = at("u_lightambient");
  where.lightdiffuse = at("u_lightdiffuse");
  where.lightspecular = at("u_lightspecular");
  where.shininess = at("u_shininess");
  where.alpharef = at("u_alpharef");
  // Each stage samples its own unit.
  glUseProgram(program);
  glUniform1i(at("u_sampler0"), 0);
  glUniform1i(at("u_sampler1"), 1);
}

GlesProgram::~GlesProgram() {
  if (program)
    glDeleteProgram(program);
}

void GlesProgram::set(const Uniforms &u) {
  if (sent && last == u)
    return;
  auto matrix = [](int at, const Matrix &now, const Matrix &before,
                   bool known) {
    // A row-vector Direct3D matrix has the memory layout of a
    // column-vector GL matrix: it goes unchanged.
    if (at >= 0 && !(known && now == before))
      glUniformMatrix4fv(at, 1, GL_FALSE, &now.m[0][0]);
  };
  matrix(where.mvp, u.mvp, last.mvp, sent);
  matrix(where.modelview, u.modelview, last.modelview, sent);
  for (int s = 0; s < maxStages; ++s)
    matrix(where.texture[s], u.texture[s], last.texture[s], sent);
  if (where.normal >= 0)
    glUniformMatrix3fv(where.normal, 1, GL_FALSE, u.normal);
  if (where.scene >= 0)
    glUniform4fv(where.scene, 1, u.scene);
  if (where.lightposition >= 0) {
    glUniform4fv(where.lightposition, maxLights, &u.lightposition[0][0]);
    glUniform4fv(where.lightambient, maxLights, &u.lightambient[0][0]);
    glUniform4fv(where.lightdiffuse, maxLights, &u.lightdiffuse[0][0]);
    glUniform4fv(where.lightspecular, maxLights, &u.lightspecular[0][0]);
    glUniform1f(where.shininess, u.shininess);
  }
  if (where.alpharef >= 0)
    glUniform1f(where.alpharef, u.alpharef);
  last = u;
  sent = true;
}

} // namespace korvane
