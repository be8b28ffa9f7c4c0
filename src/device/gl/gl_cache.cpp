#include "device/gl/gl_cache.h"
#include "device/gl/gl_mapping.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

namespace korvane {
namespace {

GLenum capabilityName(GlCache::Capability capability) {
  static const GLenum names[] = {
      GL_DEPTH_TEST, GL_BLEND,          GL_CULL_FACE,
      GL_ALPHA_TEST, GL_LIGHTING,       GL_DITHER,
      GL_NORMALIZE,  GL_COLOR_MATERIAL, GL_SCISSOR_TEST};
  return capability >= GlCache::Light0
             ? GL_LIGHT0 + GLenum(capability - GlCache::Light0)
             : names[capability];
}

struct NamedColor {
  GLenum name;
  const ColorValue &value;
};

void sendMaterial(const Material &m) {
  for (const NamedColor &c :
       {NamedColor{GL_DIFFUSE, m.diffuse}, NamedColor{GL_AMBIENT, m.ambient},
        NamedColor{GL_SPECULAR, m.specular},
        NamedColor{GL_EMISSION, m.emissive}}) {
    const float rgba[4] = {c.value.r, c.value.g, c.value.b, c.value.a};
    glMaterialfv(GL_FRONT_AND_BACK, c.name, rgba);
  }
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS,
              m.power < 0 ? 0 : (m.power > 128 ? 128 : m.power));
}

// A light placed in world space: GL takes its position through the
// modelview matrix loaded when it is given.
void sendLight(GLenum light, const Light &l) {
  for (const NamedColor &c :
       {NamedColor{GL_DIFFUSE, l.diffuse}, NamedColor{GL_SPECULAR, l.specular},
        NamedColor{GL_AMBIENT, l.ambient}}) {
    const float rgba[4] = {c.value.r, c.value.g, c.value.b, c.value.a};
    glLightfv(light, c.name, rgba);
  }
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

// Sets `slot` to `value`; true when it was not known to hold it.
template <typename T> bool update(std::optional<T> &slot, const T &value) {
  if (slot && *slot == value)
    return false;
  slot = value;
  return true;
}

} // namespace

void GlCache::enable(Capability capability, bool on) {
  if (!update(enabled[capability], on))
    return;
  on ? glEnable(capabilityName(capability))
     : glDisable(capabilityName(capability));
}

void GlCache::blendFunction(unsigned source, unsigned destination) {
  if (!update(blend, {source, destination}))
    return;
  glBlendFunc(source, destination);
}

void GlCache::depthFunction(unsigned function) {
  if (!update(depthfunc, function))
    return;
  glDepthFunc(function);
}

void GlCache::depthMask(bool on) {
  if (!update(depthmask, on))
    return;
  glDepthMask(on ? GL_TRUE : GL_FALSE);
}

void GlCache::colorMask(bool red, bool green, bool blue, bool alpha) {
  if (!update(colormask, {red, green, blue, alpha}))
    return;
  glColorMask(red, green, blue, alpha);
}

void GlCache::scissor(const std::array<int, 4> &box) {
  if (!update(scissorbox, box))
    return;
  glScissor(box[0], box[1], box[2], box[3]);
}

void GlCache::alphaFunction(unsigned function, float reference) {
  if (!update(alpha, {function, reference}))
    return;
  glAlphaFunc(function, reference);
}

void GlCache::frontFace(unsigned face) {
  if (!update(frontface, face))
    return;
  glFrontFace(face);
  glCullFace(GL_BACK);
}

void GlCache::loadMatrix(Stack stack, const Matrix &matrix) {
  if (stack >= Texture0)
    activeUnit(stack - Texture0);
  if (!update(matrices[stack], matrix))
    return;
  glMatrixMode(stack == Modelview    ? GL_MODELVIEW
               : stack == Projection ? GL_PROJECTION
                                     : GL_TEXTURE);
  // A row-vector Direct3D matrix has the memory layout of a column-vector
  // GL matrix: it loads unchanged.
  glLoadMatrixf(&matrix.m[0][0]);
}

void GlCache::activeUnit(int which) {
  if (!update(unit, which))
    return;
  glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(which));
  glClientActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(which));
}

void GlCache::bindTexture(int which, unsigned name) {
  activeUnit(which);
  if (!update(bound[which], name))
    return;
  glBindTexture(GL_TEXTURE_2D, name);
}

void GlCache::textureParameters(int which, const std::array<int, 4> &values) {
  if (!bound[which])
    return; // no texture known to be bound: nothing to keep them with
  const auto known = parameters.find(*bound[which]);
  if (known != parameters.end() && known->second == values)
    return;
  activeUnit(which);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, values[0]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, values[1]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, values[2]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, values[3]);
  parameters[*bound[which]] = values;
}

void GlCache::texturing(int which, bool on) {
  if (textured[which] && *textured[which] == on)
    return;
  activeUnit(which);
  textured[which] = on;
  on ? glEnable(GL_TEXTURE_2D) : glDisable(GL_TEXTURE_2D);
}

void GlCache::generation(int which, bool on, int mode) {
  const int wanted = on ? mode : 0;
  if (generating[which] && *generating[which] == wanted)
    return;
  activeUnit(which);
  for (GLenum coord : {GL_S, GL_T, GL_R})
    if (on)
      glTexGeni(coord, GL_TEXTURE_GEN_MODE, mode);
  for (GLenum coord : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R})
    on ? glEnable(coord) : glDisable(coord);
  generating[which] = wanted;
}

void GlCache::combiner(int which, const std::array<std::uint32_t, 6> &values) {
  if (env[which] && *env[which] == values)
    return;
  activeUnit(which);
  env[which] = values;
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
  auto combine = [](GLenum mode, GLenum src0, GLenum src1, GLenum operand0,
                    GLenum operand1, std::uint32_t op, std::uint32_t arg1,
                    std::uint32_t arg2, GLint operand) {
    const glmap::Combine c = glmap::combine(op, arg1, arg2);
    glTexEnvi(GL_TEXTURE_ENV, mode, c.function);
    glTexEnvi(GL_TEXTURE_ENV, src0, c.source0);
    glTexEnvi(GL_TEXTURE_ENV, src1, c.source1);
    glTexEnvi(GL_TEXTURE_ENV, operand0, operand);
    glTexEnvi(GL_TEXTURE_ENV, operand1, operand);
  };
  combine(GL_COMBINE_RGB, GL_SRC0_RGB, GL_SRC1_RGB, GL_OPERAND0_RGB,
          GL_OPERAND1_RGB, values[0], values[1], values[2], GL_SRC_COLOR);
  combine(GL_COMBINE_ALPHA, GL_SRC0_ALPHA, GL_SRC1_ALPHA, GL_OPERAND0_ALPHA,
          GL_OPERAND1_ALPHA, values[3], values[4], values[5], GL_SRC_ALPHA);
}

void GlCache::clientArray(int slot, bool on) {
  if (!update(arrays[slot], on))
    return;
  const GLenum array = slot == 0   ? GL_NORMAL_ARRAY
                       : slot == 1 ? GL_COLOR_ARRAY
                                   : GL_TEXTURE_COORD_ARRAY;
  if (slot >= 2)
    activeUnit(slot - 2);
  on ? glEnableClientState(array) : glDisableClientState(array);
}

void GlCache::ambient(std::uint32_t argb) {
  if (!update(ambientlevel, argb))
    return;
  const float level[4] = {static_cast<float>((argb >> 16) & 0xFF) / 255.0f,
                          static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
                          static_cast<float>(argb & 0xFF) / 255.0f,
                          static_cast<float>(argb >> 24) / 255.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, level);
}

void GlCache::material(const Material &m) {
  if (!update(lastmaterial, m))
    return;
  sendMaterial(m);
}

bool GlCache::placeLight(int index, const Light &light, const Matrix &view) {
  if (lights[index] == light && lightviews[index] == view)
    return false;
  loadMatrix(Modelview, view);
  sendLight(GL_LIGHT0 + static_cast<GLenum>(index), light);
  lights[index] = light;
  lightviews[index] = view;
  return true;
}

void GlCache::forgetTexture(unsigned name) {
  parameters.erase(name);
  for (auto &unitBinding : bound)
    if (unitBinding && *unitBinding == name)
      unitBinding = 0u; // GL binds 0 where a deleted name was bound
}

} // namespace korvane
