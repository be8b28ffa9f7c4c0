// The GLSL ES 3.00 of a program key: what fixed-function GL computes for
// the same state (its lighting with a local viewer and one-sided, vertex
// colours as the diffuse material, its normal and reflection map
// generation, its texture matrices and divide by q, its combiners and
// alpha test), so that both backends draw the same pixels.

#include "device/gles/gles_program.h"

namespace korvane {
namespace {

using fixedfn::Combine;
using fixedfn::Generation;
using fixedfn::Source;

bool generates(const ProgramKey &key) {
  for (const StageKey &stage : key.stage)
    if (stage.samples && stage.generation != Generation::None)
      return true;
  return false;
}

// Lights `key` enables, summed into `c` from the eye-space position `eye`
// and normal `n`.
void lighting(const ProgramKey &key, std::string &s) {
  s.append("  vec4 c = u_scene;\n");
  s.append(key.colormaterial ? "  c.a = vcolor.a;\n" : "");
  s.append("  vec3 toeye = -normalize(eye.xyz);\n");
  for (int i = 0; i < maxLights; ++i) {
    if (!(key.lights & (1u << i)))
      continue;
    const std::string n = std::to_string(i);
    s.append("  {\n");
    if (key.positional & (1u << i))
      s.append("    vec3 l = normalize(u_lightposition[" + n +
               "].xyz - eye.xyz);\n");
    else
      s.append("    vec3 l = u_lightposition[" + n + "].xyz;\n");
    s.append("    vec3 h = normalize(l + toeye);\n"
             "    float nl = dot(n, l);\n"
             "    c.rgb += u_lightambient[" +
             n + "].rgb;\n");
    s.append("    if (nl > 0.0) {\n");
    s.append(key.colormaterial
                 ? "      c.rgb += nl * (u_lightdiffuse[" + n +
                       "].rgb * vcolor.rgb);\n"
                 : "      c.rgb += nl * u_lightdiffuse[" + n + "].rgb;\n");
    s.append("      float nh = max(dot(n, h), 0.0);\n"
             "      float f = u_shininess == 0.0 ? 1.0 : pow(nh, "
             "u_shininess);\n"
             "      c.rgb += f * u_lightspecular[" +
             n + "].rgb;\n    }\n  }\n");
  }
  s.append("  v_color = clamp(c, 0.0, 1.0);\n");
}

void coordinates(const ProgramKey &key, int stage, std::string &s) {
  const StageKey &k = key.stage[stage];
  if (!k.samples)
    return;
  const std::string n = std::to_string(stage);
  std::string source = "a_texcoord" + n;
  if (k.generation == Generation::Normal)
    source = "vec4(n, 1.0)";
  else if (k.generation == Generation::Reflection)
    source = "vec4(reflect(normalize(eye.xyz), n), 1.0)";
  s.append("  v_texcoord" + n + " = u_texture" + n + " * " + source + ";\n");
}

std::string sourceName(Source source, int stage, bool alpha) {
  const char *which = source == Source::Texture   ? "t"
                      : source == Source::Diffuse ? "v_color"
                                                  : "r";
  (void)stage;
  return std::string(which) + (alpha ? ".a" : ".rgb");
}

std::string combined(const Combine &c, int stage, bool alpha) {
  std::string out = sourceName(c.source0, stage, alpha);
  if (c.modulate)
    out.append(" * ").append(sourceName(c.source1, stage, alpha));
  return out;
}

// The alpha test of GL_NEVER + func: never, less, equal, lequal, greater,
// notequal, gequal, always.
std::string alphaTest(int func) {
  static const char *const tests[] = {"", "<", "==", "<=", ">", "!=", ">="};
  if (func == 0)
    return "  discard;\n";
  if (func >= 7)
    return "";
  return std::string("  if (!(r.a ")
      .append(tests[func])
      .append(" u_alpharef))\n    discard;\n");
}

} // namespace

std::string vertexShader(const ProgramKey &key) {
  const bool eyespace = key.lit || generates(key);
  std::string s = "#version 300 es\n"
                  "precision highp float;\n"
                  "layout(location = 0) in vec3 a_position;\n"
                  "layout(location = 1) in vec3 a_normal;\n"
                  // Direct3D's colour words, bytes B, G, R, A.
                  "layout(location = 2) in vec4 a_color;\n"
                  "layout(location = 3) in vec4 a_texcoord0;\n"
                  "layout(location = 4) in vec4 a_texcoord1;\n"
                  "uniform mat4 u_mvp;\n"
                  "out vec4 v_color;\n";
  if (eyespace)
    s.append("uniform mat4 u_modelview;\nuniform mat3 u_normal;\n");
  if (key.lit)
    s.append("uniform vec4 u_scene;\n"
             "uniform vec4 u_lightposition[8];\n"
             "uniform vec4 u_lightambient[8];\n"
             "uniform vec4 u_lightdiffuse[8];\n"
             "uniform vec4 u_lightspecular[8];\n"
             "uniform float u_shininess;\n");
  for (int stage = 0; stage < maxStages; ++stage)
    if (key.stage[stage].samples) {
      const std::string n = std::to_string(stage);
      s.append("uniform mat4 u_texture" + n + ";\nout vec4 v_texcoord" + n +
               ";\n");
    }
  s.append("void main() {\n"
           "  vec4 p = vec4(a_position, 1.0);\n"
           "  gl_Position = u_mvp * p;\n"
           "  vec4 vcolor = a_color.zyxw;\n");
  if (eyespace) {
    s.append("  vec4 eye = u_modelview * p;\n"
             "  vec3 n = u_normal * a_normal;\n");
    if (key.normalize)
      s.append("  n = n * inversesqrt(dot(n, n));\n");
  }
  if (key.lit)
    lighting(key, s);
  else
    s.append("  v_color = vcolor;\n");
  for (int stage = 0; stage < maxStages; ++stage)
    coordinates(key, stage, s);
  s.append("}\n");
  return s;
}

std::string fragmentShader(const ProgramKey &key) {
  std::string s = "#version 300 es\n"
                  "precision highp float;\n"
                  "in vec4 v_color;\n"
                  "out vec4 o_color;\n";
  for (int stage = 0; stage < maxStages; ++stage)
    if (key.stage[stage].samples) {
      const std::string n = std::to_string(stage);
      s.append("in vec4 v_texcoord" + n + ";\nuniform sampler2D u_sampler" + n +
               ";\n");
    }
  if (key.alphatest)
    s.append("uniform float u_alpharef;\n");
  s.append("void main() {\n  vec4 r = v_color;\n");
  for (int stage = 0; stage < maxStages; ++stage) {
    const StageKey &k = key.stage[stage];
    if (!k.samples)
      continue;
    const std::string n = std::to_string(stage);
    s.append("  {\n    vec4 t = textureProj(u_sampler" + n + ", v_texcoord" +
             n + ");\n");
    s.append("    r = vec4(" + combined(k.colour, stage, false) + ", " +
             combined(k.alpha, stage, true) + ");\n  }\n");
  }
  if (key.alphatest)
    s.append(alphaTest(key.alphafunc));
  s.append("  o_color = r;\n}\n");
  return s;
}

} // namespace korvane
