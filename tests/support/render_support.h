#pragma once

// What the rendering tests share: a device on a hidden window whose every
// present is read back, a show run through the player session on a
// virtual clock, and comparisons of pixels.

#include "base/clocks.h"
#include "device/device_setup.h"
#include "device/gl/gl_backend.h"
#include "device/gles/gles_backend.h"
#include "platform/window.h"
#include "player/session.h"
#include "problem_capture.h"
#include "temp_folder.h"
#include "zip_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace korvane::test {

namespace fs = std::filesystem;

struct Rgb {
  int r, g, b;
};

inline void headless() {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  unsetenv("DISPLAY");
}

// What the rendering tests draw with: KORVANE_RENDERER=gles runs them on
// the GLES backend, anything else on GL.
inline Renderer testRenderer() {
  const char *name = std::getenv("KORVANE_RENDERER");
  return name && std::strcmp(name, "gles") == 0 ? Renderer::Gles : Renderer::Gl;
}
inline const char *testRendererName() {
  return testRenderer() == Renderer::Gles ? "gles" : "gl";
}

// The backend the tests draw with, in the current context of a window made
// with testWindow().
inline std::unique_ptr<ScreenBackend> testBackend(int w, int h,
                                                  std::function<void()> swap,
                                                  int drawableWidth = 0,
                                                  int drawableHeight = 0) {
  if (testRenderer() == Renderer::Gles)
    return std::make_unique<GlesBackend>(
        w, h, std::move(swap), standardLogger(), drawableWidth, drawableHeight);
  return std::make_unique<GlBackend>(w, h, std::move(swap), standardLogger(),
                                     drawableWidth, drawableHeight);
}
inline std::unique_ptr<Window> testWindow(int w, int h, std::string &error) {
  return Window::create("test", w, h, false, true, error,
                        testRenderer() == Renderer::Gles);
}

// A hidden window with a device on the tests' backend; `frame` holds the
// pixels read back at the last present.
struct Scene {
  std::unique_ptr<Window> window;
  GraphicsDevice graphics;
  Arcball arcball;
  std::string frame;
  int width, height;
  ScreenBackend *screen = nullptr;

  Scene(int w, int h) : width(w), height(h) {
    headless();
    std::string error;
    window = testWindow(w, h, error);
    if (!window)
      ADD_FAILURE() << error;
    // The log lines the device's start writes are not what is tested.
    const Logger quiet;
    auto backend =
        testBackend(w, h, [this] { frame = screen->readBack(width, height); });
    screen = backend.get();
    setupDevice(graphics, std::move(backend), arcball, w, h, quiet);
  }
  ~Scene() { teardownDevice(graphics); }
  Device &device() { return *graphics.device; }
  Rgb at(int x, int y) const {
    const std::size_t i = (std::size_t(y) * width + x) * 3;
    return {static_cast<unsigned char>(frame[i]),
            static_cast<unsigned char>(frame[i + 1]),
            static_cast<unsigned char>(frame[i + 2])};
  }
  void begin(std::uint32_t color) {
    device().clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0);
    device().beginScene();
  }
  void end() {
    device().endScene();
    device().present();
  }
};

struct ScreenVertex {
  float x, y, z, rhw;
  std::uint32_t color;
};
constexpr std::uint32_t screenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

struct ColorVertex {
  float x, y, z;
  std::uint32_t color;
};
constexpr std::uint32_t colorFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

template <typename Vertex>
std::unique_ptr<VertexBuffer> buffer(Device &device,
                                     std::initializer_list<Vertex> vertices,
                                     std::uint32_t fvf) {
  auto out = device.createVertexBuffer(
      static_cast<std::uint32_t>(vertices.size() * sizeof(Vertex)), 0, fvf,
      D3DPOOL_DEFAULT);
  std::memcpy(out->lock(0), vertices.begin(), vertices.size() * sizeof(Vertex));
  out->unlock();
  return out;
}

inline void unlitFlat(Device &device) {
  device.setRenderState(D3DRS_LIGHTING, 0);
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device.setTexture(0, nullptr);
}

inline bool near(const Rgb &a, const Rgb &b, int tolerance = 2) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

inline std::string describe(const Rgb &c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," +
         std::to_string(c.b) + ")";
}

// A show folder in a temporary place, run through the player's start-up
// on a hidden window.
struct ShowRun {
  // Never entered: the session is handed the folder and opens its files
  // there.
  korvane::test::TempFolder temp;
  const fs::path &folder = temp.path;
  ReportedProblems problems; // what the run reports, in order
  std::unique_ptr<Soundtrack> soundtrack = makeSoundtrack();
  Session player{problems};
  // What each frame is drawn with; its show time is the playhead's.
  Playhead playhead;
  FrameRequest request;
  std::string frame;
  VirtualClock clock;

  // `sound`: the player's own choice, as the real player makes it.
  // `zipped`: the show is the archive show.zip in the folder instead.
  // `media`: a folder whose files are copied into Data first.
  explicit ShowRun(const std::string &script, bool sound = false,
                   bool zipped = false, const fs::path &media = {}) {
    headless();
    fs::create_directory(folder / "Data");
    if (!media.empty())
      for (const auto &file : fs::directory_iterator(media))
        fs::copy_file(file.path(), folder / "Data" / file.path().filename());
    std::ofstream(folder / "Data" / "mirl .script") << script;
    if (zipped) {
      EXPECT_TRUE(writeZip(archive(), {{"Data/mirl .script", script}}));
    }
    SessionOptions options;
    options.hidden = true;
    options.sound = sound;
    options.soundtrack = soundtrack.get();
    options.timerclock = &clock;
    options.folder = zipped ? archive() : folder.string();
    options.renderer = testRenderer();
    options.capture = [this] {
      frame = player.backend()->readBack(player.window->width(),
                                         player.window->height());
    };
    std::string error;
    EXPECT_TRUE(player.start(options, error)) << error;
  }
  std::string archive() const { return (folder / "show.zip").string(); }
  ~ShowRun() {
    if (player.window)
      player.stop(1, 1);
  }
  // Renders the frame for `elapsed`; false when the show has ended.
  bool render(std::uint32_t elapsed) {
    frame.clear();
    clock.set(elapsed);
    request.showTime = playhead.showTime(elapsed);
    return player.frame(request);
  }
  Rgb at(int x, int y) const {
    const std::size_t i = (std::size_t(y) * player.window->width() + x) * 3;
    return {static_cast<unsigned char>(frame[i]),
            static_cast<unsigned char>(frame[i + 1]),
            static_cast<unsigned char>(frame[i + 2])};
  }
  // Pixels of the overlay's yellow in a box.
  int yellow(int x0, int y0, int x1, int y1) const {
    int count = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const Rgb c = at(x, y);
        count += c.r > 150 && c.g > 150 && c.b < 100;
      }
    return count;
  }
};

} // namespace korvane::test
