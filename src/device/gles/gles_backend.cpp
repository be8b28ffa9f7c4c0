#include "device/gles/gles_backend.h"
#include "device/gles/gles_mapping.h"
#include "device/texgen.h"

#include <GLES3/gl3.h>

#include <algorithm>
#include <cstdio>

namespace korvane {
namespace {

// GLES reads the back buffer as RGBA bytes, rows from the bottom.
std::string readRgba(int width, int height) {
  std::string pixels(std::size_t(width) * height * 4, '\0');
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

} // namespace

std::string readBackBufferGles(int width, int height) {
  const std::string rgba = readRgba(width, height);
  std::string pixels(std::size_t(width) * height * 3, '\0');
  for (int y = 0; y < height; ++y) {
    const char *from = rgba.data() + std::size_t(height - 1 - y) * width * 4;
    char *to = pixels.data() + std::size_t(y) * width * 3;
    for (int x = 0; x < width; ++x, from += 4, to += 3) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
  return pixels;
}

std::string GlesBackend::readBackBgra(int w, int h) const {
  std::string pixels = readRgba(w, h);
  for (std::size_t i = 0; i + 3 < pixels.size(); i += 4)
    std::swap(pixels[i], pixels[i + 2]);
  return pixels;
}

GlesBackend::GlesBackend(int w, int h, std::function<void()> swapBuffers,
                         const Logger &logger, int drawableWidth,
                         int drawableHeight)
    : log(logger), width(w), height(h), swap(std::move(swapBuffers)) {
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
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
  glCullFace(GL_BACK);
  glEnableVertexAttribArray(POSITION);
  glGenBuffers(1, &vertexbuffer);
  glGenBuffers(1, &indexbuffer);
  glGenBuffers(maxStages, coordinatebuffer);
  if (stateCheckWanted())
    statefailed = stateCheckFailed(logger, Problem::GlesStateWrong);
  resize(drawableWidth > 0 ? drawableWidth : w,
         drawableHeight > 0 ? drawableHeight : h);
}

GlesBackend::~GlesBackend() {
  for (auto &[texture, entry] : textures)
    glDeleteTextures(1, &entry.name);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glDeleteBuffers(1, &vertexbuffer);
  glDeleteBuffers(1, &indexbuffer);
  glDeleteBuffers(maxStages, coordinatebuffer);
  glUseProgram(0);
}

void GlesBackend::resize(int drawableWidth, int drawableHeight) {
  if (drawableWidth <= 0 || drawableHeight <= 0)
    return;
  const double scale =
      std::min(double(drawableWidth) / width, double(drawableHeight) / height);
  const int vw = std::max(1, int(width * scale));
  const int vh = std::max(1, int(height * scale));
  view = {(drawableWidth - vw) / 2, (drawableHeight - vh) / 2, vw, vh};
  bars = vw != drawableWidth || vh != drawableHeight;
  glViewport(view[0], view[1], view[2], view[3]);
}

void GlesBackend::clear(std::uint32_t flags, std::uint32_t color, float z,
                        std::uint32_t stencil) {
  GLbitfield mask = 0;
  const bool target = (flags & D3DCLEAR_TARGET) != 0;
  if (target) {
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (bars) {
      // The bars black; the clear itself only where the picture is.
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
      glScissor(view[0], view[1], view[2], view[3]);
      glEnable(GL_SCISSOR_TEST);
    }
    glClearColor(float((color >> 16) & 0xFF) / 255.0f,
                 float((color >> 8) & 0xFF) / 255.0f,
                 float(color & 0xFF) / 255.0f, 1.0f);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  // Direct3D clears depth whatever the write mask says.
  if (flags & D3DCLEAR_ZBUFFER) {
    glDepthMask(GL_TRUE);
    glClearDepthf(z);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_STENCIL) {
    glClearStencil(static_cast<GLint>(stencil));
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  if (mask)
    glClear(mask);
  glDepthMask(depthmask ? GL_TRUE : GL_FALSE);
  if (target) {
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
  }
}

void GlesBackend::present() {
  // Swapping without a display does not flush.
  glFlush();
  forgetGoneTextures();
  if (swap)
    swap();
}

void GlesBackend::draw(const DeviceState &state, std::uint32_t &dirty,
                       PrimitiveType type, std::uint32_t startVertex,
                       std::uint32_t vertexCount) {
  prepare(state, dirty, startVertex, vertexCount);
  if (!program)
    return;
  const GLenum mode = type == D3DPT_TRIANGLESTRIP ? GL_TRIANGLE_STRIP
                      : type == D3DPT_TRIANGLEFAN ? GL_TRIANGLE_FAN
                                                  : GL_TRIANGLES;
  glDrawArrays(mode, 0, static_cast<GLsizei>(vertexCount));
}

void GlesBackend::drawIndexed(const DeviceState &state, std::uint32_t &dirty,
                              const std::uint32_t *indices,
                              std::uint32_t indexCount,
                              std::uint32_t vertexCount) {
  prepare(state, dirty, 0, vertexCount);
  if (!program)
    return;
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexbuffer);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER,
               static_cast<GLsizeiptr>(indexCount * sizeof *indices), indices,
               GL_STREAM_DRAW);
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount),
                 GL_UNSIGNED_INT, nullptr);
}

void GlesBackend::prepare(const DeviceState &state, std::uint32_t &dirty,
                          std::uint32_t startVertex,
                          std::uint32_t vertexCount) {
  if (dirty) {
    // Any change: the key and the uniforms are worked out again whole;
    // the program keeps what it was last given and sends only changes.
    layout = vertexLayout(state.fvf);
    cpugeneration = !layout.pretransformed &&
                    flattens(matrixMultiply(state.world, state.view));
    key = programKey(state, layout, cpugeneration);
    uniforms = programUniforms(state, layout, cpugeneration, width, height);
    bindOutput(state);
    GlesProgram &made = programFor(key);
    program = made.ok() ? &made : nullptr;
    dirty = 0;
  }
  if (!program)
    return;
  if (inuse != program->name()) {
    inuse = program->name();
    glUseProgram(inuse);
  }
  program->set(uniforms);
  bindTextures(state);
  bindAttributes(state, startVertex, vertexCount);
  if (statefailed)
    checkState(state);
}

GlesProgram &GlesBackend::programFor(const ProgramKey &wanted) {
  auto &slot = programs[wanted.code()];
  if (!slot) {
    slot = std::make_unique<GlesProgram>(wanted);
    inuse = slot->name(); // made in use, to set its samplers
    if (!slot->ok())
      log.report(Problem::GlesProgramFailed, "", 0, {slot->log()});
  }
  return *slot;
}

void GlesBackend::bindOutput(const DeviceState &state) {
  const std::uint32_t *rs = state.renderstate;
  const std::array<std::uint32_t, 8> now = {
      rs[D3DRS_ALPHABLENDENABLE], rs[D3DRS_SRCBLEND],    rs[D3DRS_DESTBLEND],
      rs[D3DRS_ZENABLE],          rs[D3DRS_ZFUNC],       rs[D3DRS_ZWRITEENABLE],
      rs[D3DRS_CULLMODE],         rs[D3DRS_DITHERENABLE]};
  if (output && *output == now)
    return;
  output = now;
  auto enable = [](GLenum cap, bool on) {
    on ? glEnable(cap) : glDisable(cap);
  };
  enable(GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != 0);
  const auto factors =
      glesmap::blendFactors(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND]);
  glBlendFunc(factors[0], factors[1]);
  enable(GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != D3DZB_FALSE);
  glDepthFunc(glesmap::compareFunc(rs[D3DRS_ZFUNC]));
  depthmask = rs[D3DRS_ZWRITEENABLE] != 0;
  glDepthMask(depthmask ? GL_TRUE : GL_FALSE);
  const std::uint32_t cull = rs[D3DRS_CULLMODE];
  enable(GL_CULL_FACE, fixedfn::culls(cull));
  glFrontFace(fixedfn::frontFaceClockwise(cull) ? GL_CW : GL_CCW);
  enable(GL_DITHER, rs[D3DRS_DITHERENABLE] != 0);
}

} // namespace korvane
