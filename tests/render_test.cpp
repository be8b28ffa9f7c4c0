// Real frames on the software GL renderer, read back pixel by pixel.

#include "base/clocks.h"
#include "base/debuglog.h"
#include "device/device_setup.h"
#include "device/gl/gl_backend.h"
#include "gfxutil/picture_file.h"
#include "gfxutil/png_file.h"
#include "platform/window.h"
#include "player/session.h"
#include "temp_folder.h"

#include <SDL.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvane;

namespace {

struct Rgb {
  int r, g, b;
};

void headless() {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  unsetenv("DISPLAY");
}

// A hidden window with a device on GL; `frame` holds the pixels read back
// at the last present.
struct Scene {
  std::unique_ptr<Window> window;
  GraphicsDevice graphics;
  Arcball arcball;
  std::string frame;
  int width, height;

  Scene(int w, int h) : width(w), height(h) {
    headless();
    std::string error;
    window = Window::create("test", w, h, false, true, error);
    if (!window)
      ADD_FAILURE() << error;
    std::vector<std::string> log;
    setLogCapture(&log);
    setupDevice(graphics,
                std::make_unique<GlBackend>(
                    w, h, [this] { frame = readBackBuffer(width, height); }),
                arcball, w, h);
    setLogCapture(nullptr);
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

void unlitFlat(Device &device) {
  device.setRenderState(D3DRS_LIGHTING, 0);
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device.setTexture(0, nullptr);
}

bool near(const Rgb &a, const Rgb &b, int tolerance = 2) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

std::string describe(const Rgb &c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," +
         std::to_string(c.b) + ")";
}

} // namespace

TEST(Render, PreTransformedBlendedQuad) {
  Scene scene(64, 64);
  Device &device = scene.device();
  scene.begin(0xFF0000FFu);
  unlitFlat(device);
  device.setRenderState(D3DRS_ZENABLE, 0);
  device.setRenderState(D3DRS_ALPHABLENDENABLE, 1);
  device.setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device.setRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  // Pixel centres on whole numbers: x 10..19 and y 20..29 inclusive.
  auto quad = buffer<ScreenVertex>(device,
                                   {{9.5f, 19.5f, 0.5f, 1, 0x80FF0000u},
                                    {19.5f, 19.5f, 0.5f, 1, 0x80FF0000u},
                                    {9.5f, 29.5f, 0.5f, 1, 0x80FF0000u},
                                    {19.5f, 29.5f, 0.5f, 1, 0x80FF0000u}},
                                   screenFvf);
  device.setStreamSource(quad.get(), sizeof(ScreenVertex));
  device.setVertexShader(screenFvf);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  const Rgb inside = scene.at(15, 25);
  EXPECT_TRUE(near(inside, {128, 0, 127})) << describe(inside);
  EXPECT_TRUE(near(scene.at(10, 20), inside)) << describe(scene.at(10, 20));
  EXPECT_TRUE(near(scene.at(19, 29), inside)) << describe(scene.at(19, 29));
  EXPECT_TRUE(near(scene.at(9, 25), {0, 0, 255}));
  EXPECT_TRUE(near(scene.at(20, 25), {0, 0, 255}));
  EXPECT_TRUE(near(scene.at(15, 19), {0, 0, 255}));
  EXPECT_TRUE(near(scene.at(15, 30), {0, 0, 255}));

  // An unknown blend value keeps the one before: the same result again.
  scene.begin(0xFF0000FFu);
  device.setRenderState(D3DRS_SRCBLEND, static_cast<std::uint32_t>(-1));
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(15, 25), inside));
  // BOTHINVSRCALPHA: source weighted by 1 - alpha, destination by alpha.
  scene.begin(0xFF0000FFu);
  device.setRenderState(D3DRS_SRCBLEND, D3DBLEND_BOTHINVSRCALPHA);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(15, 25), {127, 0, 128}))
      << describe(scene.at(15, 25));
}

TEST(Render, CullingAndDepth) {
  Scene scene(64, 64);
  Device &device = scene.device();
  unlitFlat(device);
  device.setRenderState(D3DRS_ZENABLE, 0);
  device.setVertexShader(screenFvf);
  // Clockwise on the screen (y grows downwards), then counter-clockwise.
  auto clockwise = buffer<ScreenVertex>(device,
                                        {{4, 4, 0.5f, 1, 0xFFFF0000u},
                                         {28, 4, 0.5f, 1, 0xFFFF0000u},
                                         {4, 28, 0.5f, 1, 0xFFFF0000u}},
                                        screenFvf);
  auto counter = buffer<ScreenVertex>(device,
                                      {{36, 4, 0.5f, 1, 0xFF00FF00u},
                                       {36, 28, 0.5f, 1, 0xFF00FF00u},
                                       {60, 4, 0.5f, 1, 0xFF00FF00u}},
                                      screenFvf);
  for (std::uint32_t cull : {D3DCULL_NONE, D3DCULL_CCW, D3DCULL_CW}) {
    scene.begin(0xFF000000u);
    device.setRenderState(D3DRS_CULLMODE, cull);
    device.setStreamSource(clockwise.get(), sizeof(ScreenVertex));
    device.drawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    device.setStreamSource(counter.get(), sizeof(ScreenVertex));
    device.drawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    scene.end();
    const bool cwShown = scene.at(8, 8).r > 200;
    const bool ccwShown = scene.at(40, 8).g > 200;
    EXPECT_EQ(cwShown, cull != D3DCULL_CW) << cull;
    EXPECT_EQ(ccwShown, cull != D3DCULL_CCW) << cull;
  }

  // Depth: the nearer quad wins whatever the order; LESSEQUAL lets an equal
  // depth through; with the test off the last one drawn wins.
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  auto nearQuad = buffer<ScreenVertex>(device,
                                       {{0, 0, 0.3f, 1, 0xFFFF0000u},
                                        {64, 0, 0.3f, 1, 0xFFFF0000u},
                                        {0, 64, 0.3f, 1, 0xFFFF0000u},
                                        {64, 64, 0.3f, 1, 0xFFFF0000u}},
                                       screenFvf);
  auto farQuad = buffer<ScreenVertex>(device,
                                      {{0, 0, 0.6f, 1, 0xFF00FF00u},
                                       {64, 0, 0.6f, 1, 0xFF00FF00u},
                                       {0, 64, 0.6f, 1, 0xFF00FF00u},
                                       {64, 64, 0.6f, 1, 0xFF00FF00u}},
                                      screenFvf);
  auto drawBoth = [&](bool depth) {
    scene.begin(0xFF000000u);
    device.setRenderState(D3DRS_ZENABLE, depth ? 1 : 0);
    device.setRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device.setStreamSource(nearQuad.get(), sizeof(ScreenVertex));
    device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device.setStreamSource(farQuad.get(), sizeof(ScreenVertex));
    device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    scene.end();
    return scene.at(32, 32);
  };
  EXPECT_TRUE(near(drawBoth(true), {255, 0, 0}));
  EXPECT_TRUE(near(drawBoth(false), {0, 255, 0}));
  // Writes off: the far quad is not kept out.
  device.setRenderState(D3DRS_ZWRITEENABLE, 0);
  EXPECT_TRUE(near(drawBoth(true), {0, 255, 0}));
  device.setRenderState(D3DRS_ZWRITEENABLE, 1);
}

TEST(Render, ProjectionLandsWherePredicted) {
  Scene scene(640, 480);
  Device &device = scene.device();
  scene.begin(0xFF000000u);
  setDefaultTransforms(device);
  unlitFlat(device);
  device.setRenderState(D3DRS_ZENABLE, 1);
  // The layer matrix goes into the view: here a move to depth 10.
  device.setTransform(D3DTS_VIEW, matrixTranslation(2.0f, 1.0f, 10.0f));
  const float d = 0.02f;
  auto quad = buffer<ColorVertex>(device,
                                  {{-d, d, 0, 0xFFFFFFFFu},
                                   {d, d, 0, 0xFFFFFFFFu},
                                   {-d, -d, 0, 0xFFFFFFFFu},
                                   {d, -d, 0, 0xFFFFFFFFu}},
                                  colorFvf);
  device.setStreamSource(quad.get(), sizeof(ColorVertex));
  device.setVertexShader(colorFvf);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  // x' = x cot(pi/8) / 1.333 / z, y' = y cot(pi/8) / z.
  const double cot = 1.0 / std::tan(0.7853982 / 2);
  const double px = (2.0 * cot / 1.333 / 10.0 + 1.0) * 0.5 * 640.0;
  const double py = (1.0 - 1.0 * cot / 10.0) * 0.5 * 480.0;
  int sumX = 0, sumY = 0, count = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      if (scene.at(x, y).r > 128) {
        sumX += x;
        sumY += y;
        ++count;
      }
  ASSERT_GT(count, 0);
  EXPECT_NEAR(sumX / double(count) + 0.5, px, 1.0);
  EXPECT_NEAR(sumY / double(count) + 0.5, py, 1.0);

  // Closer than the near plane or beyond the far one: not drawn.
  for (float depth : {0.5f, 20000.0f}) {
    scene.begin(0xFF000000u);
    device.setTransform(D3DTS_VIEW,
                        matrixMultiply(matrixScaling(depth / 10, depth / 10, 1),
                                       matrixTranslation(0, 0, depth)));
    device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    scene.end();
    EXPECT_LT(scene.at(320, 240).r, 10) << depth;
  }
}

TEST(Render, LightingAndTextureStages) {
  Scene scene(32, 32);
  Device &device = scene.device();
  struct LitVertex {
    float x, y, z, nx, ny, nz;
  };
  setDefaultTransforms(device);
  device.setTransform(D3DTS_VIEW, matrixTranslation(0, 0, 2));
  auto quad = device.createVertexBuffer(4 * sizeof(LitVertex), 0, 0x12,
                                        D3DPOOL_DEFAULT);
  const LitVertex corners[4] = {{-5, 5, 0, 0, 0, -1},
                                {5, 5, 0, 0, 0, -1},
                                {-5, -5, 0, 0, 0, -1},
                                {5, -5, 0, 0, 0, -1}};
  std::memcpy(quad->lock(0), corners, sizeof corners);
  device.setStreamSource(quad.get(), sizeof(LitVertex));
  device.setVertexShader(0x12);
  Material material;
  material.ambient = {0.5f, 0.25f, 1.0f, 1.0f};
  material.diffuse = {1, 1, 1, 1};
  device.setMaterial(material);
  device.setTexture(0, nullptr);
  // Lighting on, the one light off: the ambient level times the material.
  scene.begin(0xFF000000u);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(16, 16), {128, 64, 255}))
      << describe(scene.at(16, 16));
  // The light shining straight at the quad adds its diffuse part.
  Light light;
  light.type = D3DLIGHT_DIRECTIONAL;
  light.diffuse = {0.5f, 0.5f, 0.0f, 0};
  light.direction[2] = 1.0f;
  device.setLight(1, light);
  device.lightEnable(1, true);
  device.setRenderState(D3DRS_AMBIENT, 0xFF000000u);
  scene.begin(0xFF000000u);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(16, 16), {128, 128, 0}))
      << describe(scene.at(16, 16));
  device.lightEnable(1, false);

  // A texture modulated by the vertex colour, then SELECTARG1 of the
  // texture alone.
  device.setRenderState(D3DRS_LIGHTING, 0);
  auto texture =
      device.createTexture(2, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
  auto *texels = reinterpret_cast<std::uint32_t *>(texture->lock(0));
  for (int i = 0; i < 4; ++i)
    texels[i] = 0x0000FF80u; // green 255, blue 128; the X byte is ignored
  texture->unlock(0);
  struct TexVertex {
    float x, y, z;
    std::uint32_t color;
    float u, v;
  };
  auto textured = device.createVertexBuffer(4 * sizeof(TexVertex), 0, 0x142,
                                            D3DPOOL_DEFAULT);
  const TexVertex tv[4] = {{-5, 5, 0, 0xFF808080u, 0, 0},
                           {5, 5, 0, 0xFF808080u, 1, 0},
                           {-5, -5, 0, 0xFF808080u, 0, 1},
                           {5, -5, 0, 0xFF808080u, 1, 1}};
  std::memcpy(textured->lock(0), tv, sizeof tv);
  device.setStreamSource(textured.get(), sizeof(TexVertex));
  device.setVertexShader(0x142);
  device.setTexture(0, texture.get());
  device.setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device.setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device.setTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  scene.begin(0xFF000000u);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(16, 16), {0, 128, 64}))
      << describe(scene.at(16, 16));
  device.setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  scene.begin(0xFF000000u);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(16, 16), {0, 255, 128}))
      << describe(scene.at(16, 16));
  // Rewritten texels are uploaded again.
  texels = reinterpret_cast<std::uint32_t *>(texture->lock(0));
  for (int i = 0; i < 4; ++i)
    texels[i] = 0x00FF0000u;
  texture->unlock(0);
  scene.begin(0xFF000000u);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(16, 16), {255, 0, 0}))
      << describe(scene.at(16, 16));
  // No texture on the stage: the vertex colour passes through.
  device.setTexture(0, nullptr);
  scene.begin(0xFF000000u);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(16, 16), {128, 128, 128}))
      << describe(scene.at(16, 16));
}

namespace {

// A show folder in a temporary place, run through the player's start-up
// on a hidden window.
struct ShowRun {
  // Entered at once: the start-up takes "Data" from the current folder.
  korvane::test::TempFolder temp{true};
  const fs::path &folder = temp.path;
  std::unique_ptr<Show> show = std::make_unique<Show>();
  Session player{*show};
  std::string frame;
  VirtualClock clock;

  // `sound`: the player's own choice, as the real player makes it.
  explicit ShowRun(const std::string &script, bool sound = false) {
    headless();
    fs::create_directory(folder / "Data");
    std::ofstream(folder / "Data" / "mirl .script") << script;
    SessionOptions options;
    options.hidden = true;
    options.sound = sound;
    options.ticks = &clock;
    options.timerclock = &clock;
    options.capture = [this] {
      frame = readBackBuffer(player.window->width(), player.window->height());
    };
    std::string error;
    EXPECT_TRUE(player.start(options, error)) << error;
  }
  ~ShowRun() {
    if (player.window)
      player.stop(1, 1);
  }
  // Renders the frame for `elapsed`; false when the show has ended.
  bool render(std::uint32_t elapsed) {
    frame.clear();
    clock.set(elapsed);
    return player.frame(elapsed);
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

} // namespace

TEST(Render, PartsBackgroundsEndAndSkips) {
  ShowRun run("<demo> resolution 160 120\n"
              "<part> length 1000 backgroundcolor 255 0 0 </part>\n"
              "<part> length 0 backgroundcolor 0 255 0 </part>\n"
              "<part> length 2000 backgroundcolor 0 0 255 </part>\n"
              "<part> length 500 backgroundcolor 20 40 60 </part>\n");
  ASSERT_TRUE(run.player.window);
  EXPECT_TRUE(run.player.scriptread);
  const std::pair<std::uint32_t, Rgb> expected[] = {
      {0, {255, 0, 0}},    {999, {255, 0, 0}},   {1000, {0, 0, 255}},
      {2999, {0, 0, 255}}, {3000, {20, 40, 60}}, {3499, {20, 40, 60}}};
  for (const auto &[ms, color] : expected) {
    ASSERT_TRUE(run.render(ms)) << ms;
    EXPECT_TRUE(near(run.at(80, 60), color)) << ms << describe(run.at(80, 60));
    EXPECT_TRUE(near(run.at(159, 119), color)) << ms;
  }
  // The end of the last part is the end of the show: nothing presented.
  EXPECT_FALSE(run.render(3500));
  EXPECT_TRUE(run.frame.empty());

  // One skip at 200 ms moves to the third part's start; a second skip
  // right after moves on to the last part.
  skipToNextPart(*run.show, 200);
  EXPECT_EQ(run.show->skipoffset, 800);
  ASSERT_TRUE(run.render(200));
  EXPECT_TRUE(near(run.at(80, 60), {0, 0, 255}));
  skipToNextPart(*run.show, 201);
  EXPECT_EQ(run.show->skipoffset, 3000 - 201);
  ASSERT_TRUE(run.render(201));
  EXPECT_TRUE(near(run.at(80, 60), {20, 40, 60}));
  // A skip from the last part ends the show.
  skipToNextPart(*run.show, 300);
  EXPECT_FALSE(run.render(300));
}

TEST(Render, OverlayTextTopLeft) {
  {
    ShowRun run("<demo> resolution 200 100 showfps ENABLE showtime ENABLE\n"
                "<part> length 600 </part> <part> length 1000 </part>");
    ASSERT_TRUE(run.render(900));
    // Both lines in yellow at the top left, nothing further right or down.
    EXPECT_GT(run.yellow(0, 0, 60, 16), 10);
    EXPECT_GT(run.yellow(0, 16, 100, 34), 20);
    EXPECT_EQ(run.yellow(120, 0, 200, 100), 0);
    EXPECT_EQ(run.yellow(0, 40, 200, 100), 0);
    // "900 / 300" is wider than "0.00".
    int right = 0;
    for (int x = 0; x < 200; ++x)
      if (run.yellow(x, 16, x + 1, 34))
        right = x;
    EXPECT_GT(right, 50);
  }
  {
    ShowRun run("<demo> resolution 200 100 showtime ENABLE\n"
                "<part> length 1000 </part>");
    ASSERT_TRUE(run.render(10));
    EXPECT_EQ(run.yellow(0, 0, 200, 15), 0); // the top line stays empty
    EXPECT_GT(run.yellow(0, 16, 100, 34), 10);
  }
  {
    ShowRun run("<demo> resolution 200 100\n<part> length 1000 </part>");
    ASSERT_TRUE(run.render(10));
    EXPECT_EQ(run.yellow(0, 0, 200, 100), 0);
  }
}

TEST(Render, StartUpLogAndFrameRateLine) {
  fs::path log;
  {
    ShowRun run("<demo> resolution 64 48 <part> length 100 </part>");
    log = run.folder / "Data" / "debug.log";
    ASSERT_TRUE(run.render(0));
    run.player.stop(25, 500);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), " DEBUG.LOG \n --------- \nPartNumber: 0\n"
                          " SOFTWARE VERTEXPROCESSING\nD3D Init OK\n" +
                              std::string(33, '-') +
                              "\nLength: 0 - 100\nPartNumber: 1\n"
                              "\n\n\nFPS: 50.000000\n");
  }
}

TEST(Render, OfflineRendererWritesFrames) {
  const korvane::test::TempFolder scratch;
  const fs::path folder = scratch.path;
  fs::create_directory(folder / "Data");
  std::ofstream(folder / "Data" / "mirl .script")
      << "<demo> resolution 80 60 <part> length 100 backgroundcolor 0 255 0 "
         "</part>";
  const std::string tool = KORVANE_RENDER;
  auto run = [&](const std::string &arguments) {
    const std::string command =
        "'" + tool + "' " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  const std::string show = "'" + folder.string() + "'";
  const std::string out = "'" + (folder / "out").string() + "'";
  EXPECT_EQ(run(show + " --out " + out + " --at 0,50,200"), 0);
  EXPECT_TRUE(fs::exists(folder / "out" / "at_0.png"));
  EXPECT_TRUE(fs::exists(folder / "out" / "at_50.png"));
  EXPECT_FALSE(fs::exists(folder / "out" / "at_200.png")); // after the end
  EXPECT_TRUE(fs::exists(folder / "Data" / "debug.log"));
  // The same command writes the same bytes.
  std::ifstream first(folder / "out" / "at_50.png", std::ios::binary);
  std::stringstream a;
  a << first.rdbuf();
  EXPECT_EQ(run(show + " --out " + out + " --fps 40 --size 40x30"), 0);
  EXPECT_TRUE(fs::exists(folder / "out" / "frame_000003.png"));
  EXPECT_FALSE(fs::exists(folder / "out" / "frame_000004.png"));
  EXPECT_EQ(run(show + " --out " + out + " --at 50"), 0);
  std::ifstream second(folder / "out" / "at_50.png", std::ios::binary);
  std::stringstream b;
  b << second.rdbuf();
  EXPECT_EQ(a.str(), b.str());
  EXPECT_GT(a.str().size(), 50u);

  EXPECT_EQ(run("--help"), 0);
  EXPECT_EQ(run(show), 2);
  EXPECT_EQ(run(show + " --out " + out + " --fps 0"), 2);
  EXPECT_EQ(run(show + " --out " + out + " --size 10"), 2);
  EXPECT_EQ(run("/nonexistent --out " + out), 1);
  std::ofstream(folder / "Data" / "mirl .script") << "resolution 80 60";
  EXPECT_EQ(run(show + " --out " + out + " --at 0"), 1);
}

TEST(Render, BlobLayersShowTheirTexture) {
  auto solid = [](const fs::path &path, std::uint8_t r, std::uint8_t g,
                  std::uint8_t b) {
    std::string rgb;
    for (int i = 0; i < 16 * 16; ++i)
      rgb += {char(r), char(g), char(b)};
    ASSERT_TRUE(writePng(path.string(), 16, 16, rgb));
  };
  const char *blob = " type BLOB scale 1 1 1 blobsnum 1 <blobs> type SPHERE "
                     "</blobs> ";
  const korvane::test::TempFolder scratch;
  const fs::path textures = scratch.path;
  solid(textures / "magenta.png", 255, 0, 255);
  solid(textures / "green.png", 0, 255, 0);
  const std::string root = textures.string() + "/";
  ShowRun run("<demo> resolution 160 120 <part> length 1000 backgroundcolor 0 "
              "0 80 <layer> filename " +
              root + "MAGENTA.PNG position -0.5 0 2" + blob +
              "</layer> <layer> filename " + root +
              "green.png position 0.5 0 2" + blob +
              "</layer> <layer> envmap CUBEMAP filename " + root +
              "green.png position 0 0.5 2" + blob + "</layer> </part>");
  ASSERT_TRUE(run.render(0));
  // x' = x cot(pi/8) / 1.333 / z with the blob's drift putting z at 2.2.
  const double cot = 1.0 / std::tan(0.7853982 / 2);
  auto screenX = [&](double x) {
    return int((x * cot / 1.333 / 2.2 + 1.0) * 0.5 * 160);
  };
  auto screenY = [&](double y) {
    return int((1.0 - y * cot / 2.2) * 0.5 * 120);
  };
  EXPECT_TRUE(near(run.at(screenX(-0.5), 60), {255, 0, 255}, 8))
      << describe(run.at(screenX(-0.5), 60));
  EXPECT_TRUE(near(run.at(screenX(0.5), 60), {0, 255, 0}, 8))
      << describe(run.at(screenX(0.5), 60));
  EXPECT_TRUE(near(run.at(80, 60), {0, 0, 80}));
  EXPECT_TRUE(near(run.at(5, 5), {0, 0, 80}));
  // The CUBEMAP layer above the middle draws nothing.
  EXPECT_TRUE(near(run.at(80, screenY(0.5)), {0, 0, 80}))
      << describe(run.at(80, screenY(0.5)));
}

TEST(Render, MusicDisabledOpensNoAudio) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  {
    ShowRun run("<demo> resolution 64 48 music DISABLE <part> length 100 "
                "</part>",
                true);
    EXPECT_FALSE(run.player.sound);
    EXPECT_FALSE(SDL_WasInit(SDL_INIT_AUDIO));
  }
  // The same start-up with music enabled opens the audio device, even
  // though there is no music file to play.
  ShowRun enabled("<demo> resolution 64 48 music ENABLE <part> length 100 "
                  "</part>",
                  true);
  EXPECT_TRUE(enabled.player.sound);
  EXPECT_TRUE(SDL_WasInit(SDL_INIT_AUDIO));
}

namespace {
std::vector<std::string> messages;
void keepMessage(const std::string &text) { messages.push_back(text); }
} // namespace

TEST(Render, PictureLayers) {
  const korvane::test::TempFolder scratch;
  const fs::path media = scratch.path;
  std::string white;
  for (int i = 0; i < 64; ++i)
    white += "\xff\xff\xff";
  ASSERT_TRUE(writePng((media / "white.png").string(), 8, 8, white));
  const std::string avi = (media / "count.avi").string();
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i "
                         "\"color=c=black:s=256x256:r=25:d=2,geq=r='N*5':g='"
                         "0':b='0'\" -c:v rawvideo -pix_fmt bgr24 '" +
                         avi + "' </dev/null >/dev/null 2>&1")
                            .c_str()),
            0);
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i "
                         "color=c=red:s=320x240:r=25:d=1 -c:v mjpeg '" +
                         (media / "wide.avi").string() +
                         "' </dev/null >/dev/null 2>&1")
                            .c_str()),
            0);
  const std::string root = media.string() + "/";
  messages.clear();
  setMessageBox(keepMessage);
  ShowRun run(
      "<demo> resolution 160 120 <part> length 10000 backgroundcolor 0 0 200\n"
      // A white square, 1 x 1 at depth 4 in the middle.
      "<layer> type PICTURE filename " +
      root +
      "WHITE.PNG size 1 1 position 0 0 4 scale 1 1 1 ztest DISABLE </layer>\n"
      // Fading from black to red over the left.
      "<layer> type PICTURE filename " +
      root +
      "white.png size 0.5 0.5 position -1.2 0 4 scale 1 1 1 ztest DISABLE "
      "<timeline> 0 color 0 0 0 255 1000 color 255 0 0 255 2000 color 255 0 "
      "0 255 </timeline> </layer>\n"
      // Half-transparent white blended over the right.
      "<layer> type PICTURE filename " +
      root +
      "white.png size 0.5 0.5 position 1.2 0 4 scale 1 1 1 ztest DISABLE "
      "color 255 255 255 128 blend SRCALPHA INVSRCALPHA </layer>\n"
      // Videos at the top: normal speed, twice the speed.
      "<layer> type AVIPICTURE filename " +
      root +
      "count.avi size 0.5 0.5 position -0.6 1 4 scale 1 1 1 ztest DISABLE "
      "</layer>\n"
      "<layer> type AVIPICTURE filename " +
      root +
      "count.avi avispeed 2 size 0.5 0.5 position 0.6 1 4 scale 1 1 1 "
      "ztest DISABLE </layer>\n"
      "<layer> type AVIPICTURE filename " +
      root +
      "wide.avi size 0.5 0.5 position 0 -1 4 scale 1 1 1 </layer>\n"
      "</part>");
  setMessageBox({});
  EXPECT_EQ(messages,
            std::vector<std::string>{"Texture: 256x256, Avi: 320x240"});

  const double cot = 1.0 / std::tan(0.7853982 / 2);
  auto sx = [&](double x) { return int((x * cot / 1.333 / 4 + 1) * 80); };
  auto sy = [&](double y) { return int((1 - y * cot / 4) * 60); };
  ASSERT_TRUE(run.render(500));
  // The square covers +-0.5 around the middle, and no more.
  EXPECT_TRUE(near(run.at(sx(0), sy(0)), {255, 255, 255}));
  EXPECT_TRUE(near(run.at(sx(-0.45), sy(0.45)), {255, 255, 255}));
  EXPECT_TRUE(near(run.at(sx(0.45), sy(-0.45)), {255, 255, 255}));
  EXPECT_TRUE(near(run.at(sx(0.58), sy(0)), {0, 0, 200}));
  EXPECT_TRUE(near(run.at(sx(0), sy(0.58)), {0, 0, 200}));
  // 0xFF7F0000 half way through the fade.
  EXPECT_TRUE(near(run.at(sx(-1.2), sy(0)), {127, 0, 0}, 1))
      << describe(run.at(sx(-1.2), sy(0)));
  EXPECT_TRUE(near(run.at(sx(1.2), sy(0)), {128, 128, 228}, 2))
      << describe(run.at(sx(1.2), sy(0)));
  // The frames the formula gives: 500 ms is frame 12, twice as fast 25.
  EXPECT_TRUE(near(run.at(sx(-0.6), sy(1)), {60, 0, 0}, 1))
      << describe(run.at(sx(-0.6), sy(1)));
  EXPECT_TRUE(near(run.at(sx(0.6), sy(1)), {125, 0, 0}, 1))
      << describe(run.at(sx(0.6), sy(1)));
  // At 2100 ms the videos wrap: frames 2 and 5 (4200 ms is frame 105 % 50).
  ASSERT_TRUE(run.render(2100));
  EXPECT_TRUE(near(run.at(sx(-0.6), sy(1)), {10, 0, 0}, 1))
      << describe(run.at(sx(-0.6), sy(1)));
  EXPECT_TRUE(near(run.at(sx(0.6), sy(1)), {25, 0, 0}, 1))
      << describe(run.at(sx(0.6), sy(1)));
  EXPECT_TRUE(near(run.at(sx(-1.2), sy(0)), {255, 0, 0}, 1));
}

TEST(Render, MeshLayers) {
  const korvane::test::TempFolder scratch;
  const fs::path media = scratch.path;
  // A 2 x 2 quad facing the camera, red on its left half, green on the right.
  std::ofstream(media / "quad.x")
      << "xof 0303txt 0032\nMesh quad {\n 4;\n -1.0;1.0;0.0;,\n 1.0;1.0;0.0;,"
         "\n 1.0;-1.0;0.0;,\n -1.0;-1.0;0.0;;\n 2;\n 3;0,1,2;,\n 3;0,2,3;;\n"
         " MeshNormals {\n 1;\n 0.0;0.0;-1.0;;\n 2;\n 3;0,0,0;,\n 3;0,0,0;;\n"
         " }\n MeshTextureCoords {\n 4;\n 0.0;0.0;,\n 1.0;0.0;,\n 1.0;1.0;,\n"
         " 0.0;1.0;;\n }\n MeshMaterialList {\n 1;\n 2;\n 0,\n 0;;\n"
         " Material {\n 1.0;1.0;1.0;1.0;;\n 0.0;\n 0.0;0.0;0.0;;\n"
         " 0.0;0.0;0.0;;\n TextureFilename {\n \"" +
             (media / "Halves.PNG").string() + "\";\n }\n }\n }\n}\n";
  std::string halves;
  for (int y = 0; y < 4; ++y)
    halves +=
        std::string("\xff\0\0\xff\0\0", 6) + std::string("\0\xff\0\0\xff\0", 6);
  ASSERT_TRUE(writePng((media / "halves.png").string(), 4, 4, halves));
  std::string blue;
  for (int i = 0; i < 16; ++i)
    blue += std::string("\0\0\xff", 3);
  ASSERT_TRUE(writePng((media / "shadow.png").string(), 4, 4, blue));
  const std::string quad = (media / "quad.x").string();
  ShowRun run(
      "<demo> resolution 160 120 <part> length 10000 backgroundcolor 40 40 40\n"
      "<layer> type XFILE filename " +
      quad +
      " position -1.2 0.6 5 scale 0.4 0.4 0.4 cull ENABLE </layer>\n"
      // Turned away: culled with cull ENABLE, shown without.
      "<layer> type XFILE filename " +
      quad +
      " position 0 0.6 5 scale 0.4 0.4 0.4 rotationadd 0 180 0 cull ENABLE "
      "</layer>\n<layer> type XFILE filename " +
      quad +
      " position 1.2 0.6 5 scale 0.4 0.4 0.4 rotationadd 0 180 0 </layer>\n"
      // Tilted back and blended; its shadow on y = -1 is drawn unblended.
      "<layer> type XFILE filename " +
      quad +
      " position 0 -0.2 5 scale 0.5 0.5 0.5 rotationadd 60 0 0 blend ONE ONE "
      "<shadow> filename " +
      (media / "shadow.png").string() +
      " plane_a 0 -1 0 plane_b 0 -1 1 plane_c 1 -1 0 light 0 1 0 </shadow> "
      "</layer>\n"
      "<layer> type XFILE filename " +
      quad +
      " envmap CUBEMAP position 0 0 3 scale 2 2 2 </layer>\n"
      "</part>");
  ASSERT_TRUE(run.render(0));
  const double cot = 1.0 / std::tan(0.7853982 / 2);
  auto sx = [&](double x, double z) {
    return int((x * cot / 1.333 / z + 1) * 80);
  };
  auto sy = [&](double y, double z) { return int((1 - y * cot / z) * 60); };
  // Textured: red left, green right.
  EXPECT_TRUE(near(run.at(sx(-1.35, 5), sy(0.6, 5)), {255, 0, 0}, 3))
      << describe(run.at(sx(-1.35, 5), sy(0.6, 5)));
  EXPECT_TRUE(near(run.at(sx(-1.05, 5), sy(0.6, 5)), {0, 255, 0}, 3))
      << describe(run.at(sx(-1.05, 5), sy(0.6, 5)));
  // Back faces: removed with cull, shown (mirrored) without.
  EXPECT_TRUE(near(run.at(sx(0, 5), sy(0.6, 5)), {40, 40, 40}))
      << describe(run.at(sx(0, 5), sy(0.6, 5)));
  EXPECT_FALSE(near(run.at(sx(1.2, 5), sy(0.6, 5)), {40, 40, 40}));
  // The shadow: flat on y = -1 under the tilted quad, in the shadow
  // texture's blue, not added to what is behind it.
  EXPECT_TRUE(near(run.at(80, sy(-1, 5)), {0, 0, 255}, 3))
      << describe(run.at(80, sy(-1, 5)));

  // Sphere maps: SPHEREMAP maps the mesh's own texture by the reflection
  // and moves as the layer turns; SPHEREMAP2 multiplies a grey environment
  // over the mesh texture.
  std::string grey;
  for (int i = 0; i < 16; ++i)
    grey += std::string("\x80\x80\x80", 3);
  ASSERT_TRUE(writePng((media / "grey.png").string(), 4, 4, grey));
  ShowRun maps("<demo> resolution 160 120 <part> length 10000 "
               "<layer> type XFILE filename " +
               quad +
               " envmap SPHEREMAP position -0.6 0 5 scale 0.5 0.5 0.5 "
               "rotation 0 1 0 </layer> <layer> type XFILE filename " +
               quad + " envmap SPHEREMAP2 " + (media / "grey.png").string() +
               " position 0.6 0 5 scale 0.5 0.5 0.5 </layer> </part>");
  ASSERT_TRUE(maps.render(0));
  const std::string still = maps.frame;
  EXPECT_TRUE(near(maps.at(sx(0.45, 5), 60), {128, 0, 0}, 3))
      << describe(maps.at(sx(0.45, 5), 60));
  EXPECT_TRUE(near(maps.at(sx(0.75, 5), 60), {0, 128, 0}, 3))
      << describe(maps.at(sx(0.75, 5), 60));
  const Rgb mapped = maps.at(sx(-0.6, 5), 60);
  EXPECT_TRUE(mapped.r + mapped.g > 200 && mapped.b < 30) << describe(mapped);
  ASSERT_TRUE(maps.render(700));
  int changed = 0;
  for (int x = sx(-0.85, 5); x < sx(-0.35, 5); ++x)
    for (int y = 50; y < 70; ++y)
      changed += !near(maps.at(x, y), {still[(y * 160 + x) * 3] & 0xFF,
                                       still[(y * 160 + x) * 3 + 1] & 0xFF,
                                       still[(y * 160 + x) * 3 + 2] & 0xFF});
  EXPECT_GT(changed, 10);
}

TEST(BundledShow, ReadsCleanAndMatchesItsReferences) {
  const fs::path root = fs::path(KORVANE_SOURCE_DIR);
  const fs::path show = root / "show";
  ASSERT_TRUE(fs::exists(show / "Data" / "mirl .script"));
  // Rendered in a copy, so that the debug.log stays out of the source tree.
  const korvane::test::TempFolder scratch;
  const fs::path work = scratch.path;
  fs::copy(show, work / "show", fs::copy_options::recursive);
  const std::string inspect = std::string("'") + KORVANE_INSPECT +
                              "' --check '" + (work / "show").string() +
                              "' 2>&1";
  EXPECT_EQ(std::system(inspect.c_str()), 0) << "the script has warnings";

  std::ifstream timesFile(root / "tests" / "reference" / "times");
  std::string times;
  std::getline(timesFile, times);
  const std::string render =
      std::string("'") + KORVANE_RENDER + "' '" + (work / "show").string() +
      "' --out '" + (work / "out").string() + "' --size 320x240 --at " + times +
      " >/dev/null 2>&1";
  ASSERT_EQ(std::system(render.c_str()), 0);

  const fs::path diffs = fs::path(KORVANE_TEST_OUTPUT) / "show-diffs";
  std::stringstream list(times);
  std::string ms;
  int compared = 0;
  while (std::getline(list, ms, ',')) {
    SCOPED_TRACE("show time " + ms);
    auto load = [](const fs::path &path, Picture &picture) {
      std::ifstream in(path, std::ios::binary);
      const std::vector<std::uint8_t> bytes(
          (std::istreambuf_iterator<char>(in)),
          std::istreambuf_iterator<char>());
      return decodePicture(bytes.data(), bytes.size(), picture);
    };
    Picture got, want;
    ASSERT_TRUE(load(work / "out" / ("at_" + ms + ".png"), got));
    ASSERT_TRUE(
        load(root / "tests" / "reference" / ("at_" + ms + ".png"), want));
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    // llvmpipe rounds alike from run to run; a few levels cover the rest.
    int off = 0;
    std::string difference(std::size_t(got.width) * got.height * 3, '\0');
    for (std::size_t i = 0; i < std::size_t(got.width) * got.height; ++i) {
      int worst = 0;
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(got.bgra[4 * i + c] - want.bgra[4 * i + c]);
        worst = std::max(worst, d);
        difference[3 * i + 2 - c] = static_cast<char>(std::min(255, d * 8));
      }
      off += worst > 6;
    }
    const int allowed = got.width * got.height / 1000;
    EXPECT_LE(off, allowed) << off << " pixels differ";
    if (off > allowed) {
      fs::create_directories(diffs);
      writePng((diffs / ("diff_" + ms + ".png")).string(), got.width,
               got.height, difference);
      fs::copy_file(work / "out" / ("at_" + ms + ".png"),
                    diffs / ("got_" + ms + ".png"),
                    fs::copy_options::overwrite_existing);
    }
    ++compared;
  }
  EXPECT_EQ(compared, 10);
}

// The window's events as the main loop sees them: auto-repeated Space
// key-downs each count, Escape and closing the window both quit.
TEST(Render, WindowEventsForTheMainLoop) {
  headless();
  std::string error;
  auto window = Window::create("test", 32, 32, false, true, error);
  ASSERT_TRUE(window) << error;
  WindowEvent drained;
  while (window->poll(drained)) {
  }
  auto key = [](SDL_Keycode code, bool repeat) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = code;
    e.key.repeat = repeat ? 1 : 0;
    SDL_PushEvent(&e);
  };
  key(SDLK_SPACE, false);
  key(SDLK_SPACE, true);
  key(SDLK_SPACE, true);
  key(SDLK_a, false);
  key(SDLK_ESCAPE, false);
  SDL_Event close{};
  close.type = SDL_QUIT;
  SDL_PushEvent(&close);
  std::vector<WindowEvent::Kind> kinds;
  WindowEvent event;
  while (window->poll(event))
    if (event.kind != WindowEvent::Other)
      kinds.push_back(event.kind);
  EXPECT_EQ(kinds,
            (std::vector<WindowEvent::Kind>{
                WindowEvent::Space, WindowEvent::Space, WindowEvent::Space,
                WindowEvent::Escape, WindowEvent::Quit}));
}

// A still is what continuous play shows at its time, whatever was rendered
// before it; the trace has one present per picture written.
TEST(Render, StillsDoNotDependOnEarlierStills) {
  const korvane::test::TempFolder scratch;
  const fs::path show = fs::path(KORVANE_SOURCE_DIR) / "show";
  fs::copy(show, scratch.path / "show", fs::copy_options::recursive);
  auto render = [&](const std::string &at, const std::string &out,
                    const std::string &more = "") {
    const std::string command = std::string("'") + KORVANE_RENDER + "' '" +
                                (scratch.path / "show").string() +
                                "' --size 160x120 --out '" +
                                (scratch.path / out).string() + "' --at " + at +
                                more + " >/dev/null 2>&1";
    return std::system(command.c_str());
  };
  ASSERT_EQ(render("26000", "alone"), 0);
  ASSERT_EQ(render("18000,26000", "after",
                   " --trace '" + (scratch.path / "trace").string() + "'"),
            0);
  auto read = [](const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  };
  const std::string alone = read(scratch.path / "alone" / "at_26000.png");
  EXPECT_GT(alone.size(), 100u);
  EXPECT_EQ(alone, read(scratch.path / "after" / "at_26000.png"));
  std::ifstream trace(scratch.path / "trace" / "trace.txt");
  int presents = 0, clears = 0;
  for (std::string line; std::getline(trace, line);) {
    presents += line == "present";
    clears += line.rfind("clear ", 0) == 0;
  }
  EXPECT_EQ(presents, 2);
  // Each still after frames drawn but not shown: one of each earlier part,
  // then the one 1/60 s before it.
  EXPECT_EQ(clears, 3 + 4);
}

// The window stays hidden until the player shows it, after the show has
// loaded.
TEST(Render, TheWindowComesUpOnlyWhenShown) {
  headless();
  std::string error;
  auto window = Window::create("test", 32, 32, false, false, error);
  ASSERT_TRUE(window) << error;
  EXPECT_FALSE(window->shown());
  window->show();
  EXPECT_TRUE(window->shown());
}
