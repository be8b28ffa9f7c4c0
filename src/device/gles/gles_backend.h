#pragma once

// device/gles: the device drawn with OpenGL ES 3.0 (the language of
// WebGL 2), which has no fixed function: each combination of the device's
// Direct3D 8 state that changes what is computed becomes one GLSL ES 3.00
// program, made once, computing what device/gl's fixed-function GL
// computes for the same state; the rest goes in as uniforms. It knows
// device/ and base/; the window system hands it a way to swap.

#include "base/problems.h"
#include "device/device.h"
#include "device/gles/gles_program.h"
#include "device/screen_backend.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

// The back buffer of the current GLES context, rows from the top, RGB.
std::string readBackBufferGles(int width, int height);

class GlesBackend final : public ScreenBackend {
public:
  // A back buffer of width x height in the GLES 3 context current on this
  // thread; `swap` shows it. A drawable of another size shows the picture
  // scaled to fit, aspect kept. A program that fails to build, and the
  // state check's differences where it is on from the start, are reported
  // to `logger`.
  GlesBackend(int width, int height, std::function<void()> swap,
              const Logger &logger, int drawableWidth = 0,
              int drawableHeight = 0);
  ~GlesBackend() override;
  GlesBackend(const GlesBackend &) = delete;
  GlesBackend &operator=(const GlesBackend &) = delete;

  void clear(std::uint32_t flags, std::uint32_t color, float z,
             std::uint32_t stencil) override;
  void draw(const DeviceState &state, std::uint32_t &dirty, PrimitiveType type,
            std::uint32_t startVertex, std::uint32_t vertexCount) override;
  void drawIndexed(const DeviceState &state, std::uint32_t &dirty,
                   const std::uint32_t *indices, std::uint32_t indexCount,
                   std::uint32_t vertexCount) override;
  void present() override;
  void resize(int drawableWidth, int drawableHeight) override;
  std::string readBack(int w, int h) const override {
    return readBackBufferGles(w, h);
  }
  std::string readBackBgra(int w, int h) const override;
  std::size_t programsMade() const override { return programs.size(); }
  bool hardwareVertexProcessing() const override { return hardware; }
  std::uint32_t maxTextureSize() const override { return maxtexture; }

  std::size_t textureCount() const override { return textures.size(); }
  // Before every draw, compares the program GL uses and its uniforms, read
  // back from GL, and GL's other state with what the device's state
  // requires; each difference, named, goes to `failed`. On from the start
  // where KORVANE_GL_CHECK=1, or in a build without NDEBUG; an empty
  // function turns it off.
  void checkStates(std::function<void(const std::string &)> failed);

private:
  Logger log; // where a program that fails to build is told
  struct GlesTexture {
    std::weak_ptr<const void> alive;
    unsigned name = 0;
    std::uint64_t version = 0;
    std::array<int, 4> parameters{}; // filters and wrapping as set
  };

  // Key, uniforms, output state and textures for the state drawn.
  void prepare(const DeviceState &state, std::uint32_t &dirty,
               std::uint32_t startVertex, std::uint32_t vertexCount);
  void bindOutput(const DeviceState &state);
  GlesProgram &programFor(const ProgramKey &key);
  void bindTextures(const DeviceState &state);
  void bindAttributes(const DeviceState &state, std::uint32_t startVertex,
                      std::uint32_t vertexCount);
  GlesTexture &textureFor(Texture &texture);
  void upload(Texture &texture, GlesTexture &entry);
  void forgetGoneTextures();
  void checkState(const DeviceState &state);

  int width, height;
  std::array<int, 4> view{};
  bool bars = false;
  std::function<void()> swap;
  bool hardware = true;
  std::uint32_t maxtexture = 2048;

  std::unordered_map<std::uint64_t, std::unique_ptr<GlesProgram>> programs;
  GlesProgram *program = nullptr; // drawn with; null where it failed to link
  unsigned inuse = 0;             // the program GL was last told to use
  ProgramKey key;
  Uniforms uniforms;
  VertexLayout layout = vertexLayout(0);
  bool cpugeneration = false;
  bool depthmask = true; // as the device's state set it
  // The render states the output state was last bound from.
  std::optional<std::array<std::uint32_t, 8>> output;
  std::unordered_map<const Texture *, GlesTexture> textures;
  std::vector<float> generated[maxStages];
  // Each draw's vertices, coordinates made on the CPU and indices go
  // through buffer objects: WebGL draws from no client memory.
  unsigned vertexbuffer = 0, indexbuffer = 0;
  unsigned coordinatebuffer[maxStages] = {};
  std::vector<std::uint8_t> converted; // a texture's texels for upload
  std::function<void(const std::string &)> statefailed;
};

} // namespace korvane
