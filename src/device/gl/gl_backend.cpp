#include "device/gl/gl_backend.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

namespace korvane {

std::string readBackBuffer(int width, int height) {
  std::string pixels(std::size_t(width) * height * 3, '\0');
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  // GL rows start at the bottom.
  std::string row(std::size_t(width) * 3, '\0');
  for (int y = 0; y < height / 2; ++y) {
    char *top = pixels.data() + std::size_t(y) * width * 3;
    char *bottom = pixels.data() + std::size_t(height - 1 - y) * width * 3;
    std::memcpy(row.data(), top, row.size());
    std::memcpy(top, bottom, row.size());
    std::memcpy(bottom, row.data(), row.size());
  }
  return pixels;
}

std::string readBackBufferBgra(int width, int height) {
  std::string pixels(std::size_t(width) * height * 4, '\0');
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

GlBackend::GlBackend(int w, int h, std::function<void()> swapBuffers,
                     const Logger &logger, int drawableWidth,
                     int drawableHeight)
    : width(w), height(h), swap(std::move(swapBuffers)) {
  std::string renderername;
  if (const GLubyte *name = glGetString(GL_RENDERER))
    renderername = reinterpret_cast<const char *>(name);
  hardware = !softwareRenderer(renderername);
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  if (size > 0)
    maxtexture = static_cast<std::uint32_t>(size);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  // The back buffer is X8R8G8B8: its alpha stays 1, as clears leave it.
  gl.colorMask(true, true, true, false);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
  // Vertex colours stand in for the material's diffuse colour.
  glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
  glEnableClientState(GL_VERTEX_ARRAY);
  if (stateCheckWanted())
    statefailed = stateCheckFailed(logger, Problem::GlStateWrong);
  resize(drawableWidth > 0 ? drawableWidth : w,
         drawableHeight > 0 ? drawableHeight : h);
}

void GlBackend::resize(int drawableWidth, int drawableHeight) {
  if (drawableWidth <= 0 || drawableHeight <= 0)
    return;
  // The picture scaled to fit, aspect kept, in the middle.
  const double scale =
      std::min(double(drawableWidth) / width, double(drawableHeight) / height);
  const int vw = std::max(1, int(width * scale));
  const int vh = std::max(1, int(height * scale));
  view = {(drawableWidth - vw) / 2, (drawableHeight - vh) / 2, vw, vh};
  bars = vw != drawableWidth || vh != drawableHeight;
  glViewport(view[0], view[1], view[2], view[3]);
}

GlBackend::~GlBackend() {
  for (auto &[texture, entry] : textures)
    glDeleteTextures(1, &entry.name);
}

void GlBackend::clear(std::uint32_t flags, std::uint32_t color, float z,
                      std::uint32_t stencil) {
  GLbitfield mask = 0;
  const bool target = (flags & D3DCLEAR_TARGET) != 0;
  if (target) {
    gl.colorMask(true, true, true, true);
    if (bars) {
      // The bars beside the picture black; the clear itself, like
      // Direct3D's, only where the picture is.
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
      gl.scissor(view);
      gl.enable(GlCache::ScissorTest, true);
    }
    float rgba[4];
    colorFloats(color, rgba);
    glClearColor(rgba[0], rgba[1], rgba[2], 1.0f);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  // Direct3D clears depth whatever the write mask says; the mask the
  // device's state set is put back after, so that no draw inherits it.
  const std::optional<bool> depthmask = gl.depthMaskHeld();
  if (flags & D3DCLEAR_ZBUFFER) {
    gl.depthMask(true);
    glClearDepth(z);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_STENCIL) {
    glClearStencil(static_cast<GLint>(stencil));
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  if (mask)
    glClear(mask);
  if (depthmask)
    gl.depthMask(*depthmask);
  if (target) {
    gl.enable(GlCache::ScissorTest, false);
    gl.colorMask(true, true, true, false);
  }
}

void GlBackend::present() {
  // Swapping without a display (the offscreen driver) does not flush, and
  // the software renderer would queue every frame's work.
  glFlush();
  forgetGoneTextures();
  if (swap)
    swap();
}

void GlBackend::draw(const DeviceState &state, std::uint32_t &dirty,
                     PrimitiveType type, std::uint32_t startVertex,
                     std::uint32_t vertexCount) {
  bindGroups(state, dirty);
  bindArrays(state, startVertex, vertexCount);
  if (statefailed)
    checkState(state);
  const GLenum mode = type == D3DPT_TRIANGLESTRIP ? GL_TRIANGLE_STRIP
                      : type == D3DPT_TRIANGLEFAN ? GL_TRIANGLE_FAN
                                                  : GL_TRIANGLES;
  glDrawArrays(mode, 0, static_cast<GLsizei>(vertexCount));
}

void GlBackend::drawIndexed(const DeviceState &state, std::uint32_t &dirty,
                            const std::uint32_t *indices,
                            std::uint32_t indexCount,
                            std::uint32_t vertexCount) {
  bindGroups(state, dirty);
  bindArrays(state, 0, vertexCount);
  if (statefailed)
    checkState(state);
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount),
                 GL_UNSIGNED_INT, indices);
}

void GlBackend::bindGroups(const DeviceState &state, std::uint32_t &dirty) {
  // Binds a marked group and clears its mark.
  auto bind = [&dirty](std::uint32_t group, auto &&binder) {
    if (dirty & group) {
      binder();
      dirty &= ~group;
    }
  };
  // In the order of the groups' dependencies: what a binder reads of
  // another group is bound before it.
  bind(GROUP_FORMAT, [&] { layout = vertexLayout(state.fvf); });
  bind(GROUP_BLEND, [&] { bindBlend(state); });
  bind(GROUP_DEPTH, [&] { bindDepth(state); });
  bind(GROUP_ALPHATEST, [&] { bindAlphaTest(state); });
  bind(GROUP_RASTER, [&] { bindRaster(state); });
  bind(GROUP_TRANSFORMS, [&] { bindTransforms(state); });
  bind(GROUP_LIGHTING, [&] { bindLighting(state); });
  bind(GROUP_STAGE0, [&] { bindStage(state, 0); });
  bind(GROUP_STAGE1, [&] { bindStage(state, 1); });
  refreshTextures(state);
}

} // namespace korvane
