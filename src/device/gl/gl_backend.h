#pragma once

// device/gl: one of the two backends that call OpenGL (device/gles is the
// other). It draws the device's Direct3D 8 state with fixed-function
// OpenGL 2.1, binding only the state groups the device marked changed,
// through one cache of what GL holds. It knows device/ and base/; the
// window system hands it a way to swap.

#include "base/problems.h"
#include "device/device.h"
#include "device/gl/gl_cache.h"
#include "device/screen_backend.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

// The pixels of the back buffer, rows from the top, RGB.
std::string readBackBuffer(int width, int height);
// The same as GL holds them, the cheapest to read: rows from the bottom,
// BGRA.
std::string readBackBufferBgra(int width, int height);

class GlBackend final : public ScreenBackend {
public:
  // A back buffer of width x height in the GL context current on this
  // thread; `swap` shows it. A drawable of another size (full screen on a
  // larger screen) shows the picture scaled to fit, aspect kept. The state
  // check, where it is on from the start, reports to `logger`.
  GlBackend(int width, int height, std::function<void()> swap,
            const Logger &logger, int drawableWidth = 0,
            int drawableHeight = 0);
  ~GlBackend() override;
  GlBackend(const GlBackend &) = delete;
  GlBackend &operator=(const GlBackend &) = delete;

  void clear(std::uint32_t flags, std::uint32_t color, float z,
             std::uint32_t stencil) override;
  void draw(const DeviceState &state, std::uint32_t &dirty, PrimitiveType type,
            std::uint32_t startVertex, std::uint32_t vertexCount) override;
  void drawIndexed(const DeviceState &state, std::uint32_t &dirty,
                   const std::uint32_t *indices, std::uint32_t indexCount,
                   std::uint32_t vertexCount) override;
  void present() override;
  // The drawable is now this size: the picture follows it, scaled to fit
  // with its aspect kept, black bars beside it.
  void resize(int drawableWidth, int drawableHeight) override;
  std::string readBack(int w, int h) const override {
    return readBackBuffer(w, h);
  }
  std::string readBackBgra(int w, int h) const override {
    return readBackBufferBgra(w, h);
  }
  bool hardwareVertexProcessing() const override { return hardware; }
  std::uint32_t maxTextureSize() const override { return maxtexture; }

  // The textures GL holds for the device.
  std::size_t textureCount() const override { return textures.size(); }
  // Before every draw, compares GL's real state with what the device's
  // state requires, whatever the cache believes; each difference, named,
  // goes to `failed`. On from the start where KORVANE_GL_CHECK=1, or in a
  // build without NDEBUG, reporting to the logger and aborting; an empty
  // function turns it off.
  void checkStates(std::function<void(const std::string &)> failed);

private:
  // A texture's GL name and what was last given to GL for it.
  struct GlTexture {
    std::weak_ptr<const void> alive;
    unsigned name = 0;
    std::uint64_t version = 0;
  };

  // The binders, one per state group; each clears its group's bit.
  void bindGroups(const DeviceState &state, std::uint32_t &dirty);
  void bindBlend(const DeviceState &state);
  void bindDepth(const DeviceState &state);
  void bindAlphaTest(const DeviceState &state);
  void bindRaster(const DeviceState &state);
  void bindTransforms(const DeviceState &state);
  void bindLighting(const DeviceState &state);
  void bindStage(const DeviceState &state, int stage);
  // Uploads what changed in the textures the stages show.
  void refreshTextures(const DeviceState &state);
  // The vertices of the draw, straight from the bound buffer.
  void bindArrays(const DeviceState &state, std::uint32_t startVertex,
                  std::uint32_t vertexCount);
  void generatedCoordinates(const DeviceState &state, int stage,
                            const std::uint8_t *base,
                            std::uint32_t vertexCount);

  void checkState(const DeviceState &state);
  void checkStage(const DeviceState &state, int stage,
                  std::vector<std::string> &found);

  GlTexture &textureFor(Texture &texture);
  void upload(Texture &texture, GlTexture &entry);
  void forgetGoneTextures();

  int width, height;
  std::array<int, 4> view{}; // where the picture lies in the drawable
  bool bars = false;         // the picture leaves part of it uncovered
  std::function<void()> swap;
  bool hardware = true;
  std::uint32_t maxtexture = 2048;

  GlCache gl;
  std::unordered_map<const Texture *, GlTexture> textures;
  // The vertex format, decoded once each time it changes.
  VertexLayout layout = vertexLayout(0);
  // Where world x view flattens space, generated texture coordinates are
  // worked out here, as Direct3D transforms normals there.
  bool cpugeneration = false;
  std::vector<float> colors;
  std::vector<float> generated[maxStages];
  std::function<void(const std::string &)> statefailed;
};

// A Direct3D colour word (A8R8G8B8) as the RGBA floats GL takes.
inline void colorFloats(std::uint32_t argb, float out[4]) {
  out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
  out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
  out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
  out[3] = static_cast<float>(argb >> 24) / 255.0f;
}

} // namespace korvane
