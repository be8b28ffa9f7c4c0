#include "device/gl/gl_cache.h"
#include "device/gl/gl_mapping.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

namespace korvane {
namespace {

GLenum capabilityName(GlCache::Capability capability) {
  static const GLenum names[] = {GL_DEPTH_TEST, GL_BLEND,         GL_CULL_FACE,
                                 GL_ALPHA_TEST, GL_LIGHTING,      GL_DITHER,
                                 GL_NORMALIZE,  GL_COLOR_MATERIAL};
  return capability >= GlCache::Light0
             ? GL_LIGHT0 + GLenum(capability - GlCache::Light0)
             : names[capability];
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

void GlCache::forgetTexture(unsigned name) {
  for (auto &unitBinding : bound)
    if (unitBinding && *unitBinding == name)
      unitBinding = 0u; // GL binds 0 where a deleted name was bound
}

} // namespace korvane
