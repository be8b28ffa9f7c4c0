// The device drawn on the software GL renderer: Direct3D 8 states and
// transforms read back pixel by pixel.

#include "render_support.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>

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
using namespace korvane::test;

TEST(GlDevice, PreTransformedBlendedQuad) {
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

  // A blend value without a meaning blends with ZERO: only the
  // destination's half of the blue is left.
  scene.begin(0xFF0000FFu);
  device.setRenderState(D3DRS_SRCBLEND, static_cast<std::uint32_t>(-1));
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(15, 25), {0, 0, 127}))
      << describe(scene.at(15, 25));
  // BOTHINVSRCALPHA: source weighted by 1 - alpha, destination by alpha.
  scene.begin(0xFF0000FFu);
  device.setRenderState(D3DRS_SRCBLEND, D3DBLEND_BOTHINVSRCALPHA);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  scene.end();
  EXPECT_TRUE(near(scene.at(15, 25), {127, 0, 128}))
      << describe(scene.at(15, 25));
}

TEST(GlDevice, CullingAndDepth) {
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
  // Writes off: the far quad is not kept out, in the next frame too (the
  // clear between them writes depth whatever the mask says).
  device.setRenderState(D3DRS_ZWRITEENABLE, 0);
  EXPECT_TRUE(near(drawBoth(true), {0, 255, 0}));
  EXPECT_TRUE(near(drawBoth(true), {0, 255, 0}));
  device.setRenderState(D3DRS_ZWRITEENABLE, 1);
}

TEST(GlDevice, ProjectionLandsWherePredicted) {
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

TEST(GlDevice, LightingAndTextureStages) {
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

// A texture transform on coordinates from the vertices: Direct3D reads
// (u, v, 1), so the translation is the third row and the fourth is unused,
// also under a world that flattens (a shadow's), whose generated
// coordinates are computed here.
TEST(GlDevice, TextureTransformOfVertexCoordinates) {
  Scene scene(32, 32);
  Device &device = scene.device();
  setDefaultTransforms(device);
  device.setTransform(D3DTS_VIEW, matrixTranslation(0, 0, 2));
  device.setRenderState(D3DRS_LIGHTING, 0);
  auto texture =
      device.createTexture(2, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
  auto *texels = reinterpret_cast<std::uint32_t *>(texture->lock(0));
  texels[0] = 0x00FF0000u; // left red, right green
  texels[1] = 0x0000FF00u;
  texture->unlock(0);
  struct TexVertex {
    float x, y, z, u, v;
  };
  auto quad = device.createVertexBuffer(4 * sizeof(TexVertex), 0, 0x102,
                                        D3DPOOL_DEFAULT);
  const TexVertex corners[4] = {
      {-5, 5, 0, 0, 0}, {5, 5, 0, 1, 0}, {-5, -5, 0, 0, 1}, {5, -5, 0, 1, 1}};
  std::memcpy(quad->lock(0), corners, sizeof corners);
  device.setStreamSource(quad.get(), sizeof(TexVertex));
  device.setVertexShader(0x102);
  device.setTexture(0, texture.get());
  device.setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device.setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device.setTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  device.setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
  device.setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
  Matrix transform = matrixScaling(0.5f, 1, 1);
  transform.m[2][0] = 0.5f;  // u' = u/2 + 1/2: the right texel
  transform.m[3][0] = -0.5f; // as GL reads it, the left one
  device.setTransform(D3DTS_TEXTURE0, transform);
  device.setTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
  for (const Matrix &world : {matrixIdentity(), matrixScaling(1, 1, 0)}) {
    device.setTransform(D3DTS_WORLD, world);
    scene.begin(0xFF000000u);
    device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    scene.end();
    for (const int x : {4, 16, 28})
      EXPECT_TRUE(near(scene.at(x, 16), {0, 255, 0}))
          << x << " in world " << world.m[2][2] << ": "
          << describe(scene.at(x, 16));
  }
}

// A drawable larger than the back buffer (full screen on a larger screen)
// shows the picture scaled to fit, aspect kept, with black bars beside it,
// also after its size changes; the part's clear stays inside the picture.
TEST(GlDevice, PictureFollowsTheDrawableWithBlackBars) {
  headless();
  std::string error;
  auto window = testWindow(200, 100, error);
  ASSERT_TRUE(window) << error;
  std::string frame;
  ScreenBackend *gl = nullptr;
  auto backend = testBackend(
      80, 60, [&frame, &gl] { frame = gl->readBack(200, 100); }, 200, 100);
  gl = backend.get();
  GraphicsDevice graphics;
  Arcball arcball;
  const Logger quiet;
  setupDevice(graphics, std::move(backend), arcball, 80, 60, quiet);
  Device &device = *graphics.device;
  // Red over the picture's top-left quarter, blue elsewhere.
  auto quad = buffer<ScreenVertex>(device,
                                   {{-0.5f, -0.5f, 0.5f, 1, 0xFFFF0000u},
                                    {39.5f, -0.5f, 0.5f, 1, 0xFFFF0000u},
                                    {-0.5f, 29.5f, 0.5f, 1, 0xFFFF0000u},
                                    {39.5f, 29.5f, 0.5f, 1, 0xFFFF0000u}},
                                   screenFvf);
  auto draw = [&] {
    device.clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 1.0f, 0);
    device.beginScene();
    unlitFlat(device);
    device.setRenderState(D3DRS_ZENABLE, 0);
    device.setStreamSource(quad.get(), sizeof(ScreenVertex));
    device.setVertexShader(screenFvf);
    device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device.endScene();
    device.present();
  };
  auto at = [&frame](int x, int y) {
    const std::size_t i = (std::size_t(y) * 200 + x) * 3;
    return Rgb{static_cast<unsigned char>(frame[i]),
               static_cast<unsigned char>(frame[i + 1]),
               static_cast<unsigned char>(frame[i + 2])};
  };
  // 200 x 100: the picture 133 x 100 from x = 33, bars left and right.
  draw();
  EXPECT_TRUE(near(at(10, 50), {0, 0, 0})) << describe(at(10, 50));
  EXPECT_TRUE(near(at(190, 50), {0, 0, 0})) << describe(at(190, 50));
  EXPECT_TRUE(near(at(40, 5), {255, 0, 0})) << describe(at(40, 5));
  EXPECT_TRUE(near(at(95, 45), {255, 0, 0})) << describe(at(95, 45));
  EXPECT_TRUE(near(at(105, 55), {0, 0, 255})) << describe(at(105, 55));
  EXPECT_TRUE(near(at(160, 95), {0, 0, 255})) << describe(at(160, 95));
  // 120 x 100: the picture 120 x 90, bars of 5 above and below.
  gl->resize(120, 100);
  draw();
  EXPECT_TRUE(near(at(60, 1), {0, 0, 0})) << describe(at(60, 1));
  EXPECT_TRUE(near(at(60, 98), {0, 0, 0})) << describe(at(60, 98));
  EXPECT_TRUE(near(at(5, 7), {255, 0, 0})) << describe(at(5, 7));
  EXPECT_TRUE(near(at(100, 80), {0, 0, 255})) << describe(at(100, 80));
  teardownDevice(graphics);
}

// The state check names what GL holds against what the device needs,
// whatever the cache believes: here GL is changed behind the cache's back.
TEST(GlDevice, StateCheckNamesWhatGlGotWrong) {
  if (testRenderer() != Renderer::Gl)
    GTEST_SKIP() << "fixed-function state: the GL backend's own";
  const struct {
    void (*sabotage)();
    const char *named;
  } cases[] = {
      {[] { glDepthMask(GL_FALSE); }, "depth write mask"},
      {[] { glEnable(GL_BLEND); }, "blending"},
      {[] { glDepthFunc(GL_GREATER); }, "depth function"},
      {[] {
         glMatrixMode(GL_PROJECTION);
         glLoadIdentity();
       },
       "projection matrix"},
      {[] { glEnable(GL_LIGHTING); }, "lighting"},
  };
  for (const auto &c : cases) {
    Scene scene(16, 16);
    Device &device = scene.device();
    std::vector<std::string> found;
    static_cast<GlBackend &>(device.backend())
        .checkStates([&found](const std::string &d) { found.push_back(d); });
    unlitFlat(device);
    auto triangle = buffer<ScreenVertex>(device,
                                         {{0, 0, 0.5f, 1, 0xFFFF0000u},
                                          {16, 0, 0.5f, 1, 0xFFFF0000u},
                                          {0, 16, 0.5f, 1, 0xFFFF0000u}},
                                         screenFvf);
    device.setStreamSource(triangle.get(), sizeof(ScreenVertex));
    device.setVertexShader(screenFvf);
    scene.begin(0xFF000000u);
    device.drawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    EXPECT_TRUE(found.empty()) << c.named << ": " << found.front();
    c.sabotage();
    device.drawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    scene.end();
    ASSERT_FALSE(found.empty()) << c.named;
    EXPECT_EQ(found.front().rfind(c.named, 0), 0u) << found.front();
  }
}
