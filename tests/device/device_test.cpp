// The device facade on the null backend: state, resources, state blocks.

#include "device/device.h"
#include "device/device_setup.h"
#include "device/texgen.h"
#include "device/texture_font.h"
#include "problem_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace korvane;

namespace {

NullBackend *nullOf(Device &device) {
  return static_cast<NullBackend *>(&device.backend());
}

} // namespace

TEST(Device, StatesPersistAcrossDraws) {
  Device device(nullptr);
  auto buffer = device.createVertexBuffer(96, 0, 0x142, D3DPOOL_DEFAULT);
  ASSERT_TRUE(buffer);
  device.setStreamSource(buffer.get(), 24);
  device.setVertexShader(0x142);
  device.setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device.setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device.setTransform(D3DTS_VIEW, matrixTranslation(1, 2, 3));
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  device.setRenderState(D3DRS_ZWRITEENABLE, 0);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  NullBackend &backend = *nullOf(device);
  ASSERT_EQ(backend.draws, 2);
  EXPECT_EQ(backend.vertices, 8);
  // Set once, still there at the second draw.
  EXPECT_EQ(backend.last.renderstate[D3DRS_SRCBLEND], D3DBLEND_SRCALPHA);
  EXPECT_EQ(backend.last.stagestate[1][D3DTSS_COLOROP], D3DTOP_MODULATE);
  EXPECT_EQ(backend.last.view.m[3][2], 3.0f);
  EXPECT_EQ(backend.last.renderstate[D3DRS_ZWRITEENABLE], 0u);
  // Direct3D's defaults where nothing was set.
  EXPECT_EQ(device.renderState(D3DRS_ZFUNC), D3DCMP_LESSEQUAL);
  EXPECT_EQ(device.textureStageState(0, D3DTSS_COLOROP), D3DTOP_MODULATE);
  EXPECT_EQ(device.textureStageState(1, D3DTSS_ALPHAOP), D3DTOP_DISABLE);

  // A draw past the buffer, or with a stride too small for the format, is
  // refused rather than read out of bounds.
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 3);
  device.drawPrimitive(D3DPT_TRIANGLELIST, 3, 1);
  device.setStreamSource(buffer.get(), 12);
  device.drawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
  device.setStreamSource(nullptr, 24);
  device.drawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
  EXPECT_EQ(backend.draws, 2);
  // Out-of-range state numbers are ignored.
  device.setRenderState(100000, 1);
  device.setTextureStageState(5, D3DTSS_COLOROP, 1);
  EXPECT_EQ(device.renderState(100000), 0u);
}

TEST(Device, StateBlocksRecordCaptureAndApply) {
  Device device(nullptr);
  auto texture =
      device.createTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
  device.setRenderState(D3DRS_ALPHABLENDENABLE, 0);
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

  device.beginStateBlock();
  device.setRenderState(D3DRS_ALPHABLENDENABLE, 1);
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  device.setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
  device.setTexture(0, texture.get());
  const StateBlock block = device.endStateBlock();
  ASSERT_NE(block, 0u);
  // Recording sets nothing.
  EXPECT_EQ(device.renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(device.state().texture[0], nullptr);

  device.applyStateBlock(block);
  EXPECT_EQ(device.renderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(device.renderState(D3DRS_CULLMODE), D3DCULL_CCW);
  EXPECT_EQ(device.state().texture[0], texture.get());

  // Capture takes the live values of the recorded states only.
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  device.setRenderState(D3DRS_LIGHTING, 0);
  device.captureStateBlock(block);
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device.setRenderState(D3DRS_LIGHTING, 1);
  device.applyStateBlock(block);
  EXPECT_EQ(device.renderState(D3DRS_CULLMODE), D3DCULL_CW);
  EXPECT_EQ(device.renderState(D3DRS_LIGHTING), 1u);

  device.deleteStateBlock(block);
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device.applyStateBlock(block); // gone: nothing happens
  device.applyStateBlock(0);
  device.captureStateBlock(99);
  EXPECT_EQ(device.renderState(D3DRS_CULLMODE), D3DCULL_NONE);
}

TEST(Device, TexturesAndVertexFormats) {
  Device device(nullptr);
  auto full =
      device.createTexture(256, 64, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->levelCount(), 9u); // 256 down to 1
  EXPECT_EQ(full->width(8), 1u);
  EXPECT_EQ(full->height(2), 16u);
  EXPECT_EQ(full->pitch(0), 1024u);
  auto small =
      device.createTexture(8, 8, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED);
  EXPECT_EQ(small->pitch(), 16u);
  EXPECT_EQ(bytesPerPixel(D3DFMT_R3G3B2), 1u);
  EXPECT_EQ(bytesPerPixel(D3DFMT_R5G6B5), 2u);
  EXPECT_FALSE(
      device.createTexture(0, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT));
  EXPECT_FALSE(device.createTexture(8, 8, 1, 0, D3DFMT_D24S8, D3DPOOL_DEFAULT));
  EXPECT_FALSE(
      device.createTexture(100000, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT));

  // Update copies system memory into the drawn texture and marks it.
  auto staging =
      device.createTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM);
  auto drawn =
      device.createTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
  std::memset(staging->lock(0), 0x7F, 64);
  staging->unlock(0);
  const auto before = drawn->version();
  EXPECT_TRUE(device.updateTexture(*staging, *drawn));
  EXPECT_GT(drawn->version(), before);
  EXPECT_EQ(drawn->pixels()[63], 0x7F);
  EXPECT_FALSE(device.updateTexture(*small, *drawn));

  EXPECT_EQ(vertexSize(0x12), 24u);  // position, normal
  EXPECT_EQ(vertexSize(0x142), 24u); // position, colour, one pair
  EXPECT_EQ(vertexSize(0x144), 28u); // pre-transformed, colour, one pair
  EXPECT_EQ(vertexSize(0x212), 40u); // position, normal, two pairs
}

TEST(DeviceSetup, InitialStatesLightAndLog) {
  std::vector<std::string> log;
  const Logger logger = test::linesInto(log);
  GraphicsDevice graphics;
  Arcball arcball;
  ASSERT_TRUE(setupDevice(graphics, std::make_unique<NullBackend>(), arcball,
                          640, 480, logger));
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], " HARDWARE VERTEXPROCESSING");
  EXPECT_EQ(log[log.size() - 2], "D3D Init OK");
  EXPECT_EQ(log.back(), std::string(33, '-'));
  Device &device = *graphics.device;
  EXPECT_EQ(device.renderState(D3DRS_CULLMODE), D3DCULL_NONE);
  EXPECT_EQ(device.renderState(D3DRS_AMBIENT), 0xFFFFFFFFu);
  EXPECT_EQ(device.renderState(D3DRS_LIGHTING), 1u);
  EXPECT_EQ(device.renderState(D3DRS_DITHERENABLE), 1u);
  EXPECT_EQ(device.textureStageState(1, D3DTSS_MAGFILTER), D3DTEXF_LINEAR);
  EXPECT_FALSE(device.state().lightenabled[0]);
  EXPECT_EQ(device.state().lights[0].direction[1], -1.0f);
  EXPECT_EQ(device.state().lights[0].range, 1000.0f);
  // The arcball knows the window: its centre is the sphere's top.
  EXPECT_EQ(arcball.screenToSphere(320, 240).z, 1.0f);
  ASSERT_TRUE(graphics.font);
  EXPECT_EQ(graphics.font->textureWidth(), 256u);
  teardownDevice(graphics);
  EXPECT_FALSE(graphics.device);
  EXPECT_FALSE(setupDevice(graphics, nullptr, arcball, 640, 480, logger));
}

TEST(TextureFont, LayoutAndBatches) {
  Device device(nullptr);
  for (const auto &[points, size] :
       {std::pair{12, 256u}, {20, 256u}, {21, 512u}, {40, 512u}, {41, 1024u}}) {
    TextureFont sized("Arial", points, fontBold);
    ASSERT_EQ(sized.createDeviceResources(device), 0) << points;
    EXPECT_EQ(sized.textureWidth(), size) << points;
    EXPECT_EQ(sized.textureHeight(), size) << points;
  }

  TextureFont font("Arial", 12, fontBold);
  ASSERT_EQ(font.createDeviceResources(device), 0);
  ASSERT_EQ(font.createDrawingResources(), 0);
  EXPECT_NE(font.faceFile().find(".ttf"), std::string::npos);
  // Cells in rows, left to right, one texel apart, all of one height.
  const float texel = 1.0f / 256.0f;
  const float *space = font.cell(' ');
  const float rowHeight = space[3] - space[1];
  EXPECT_EQ(space[0], 0.0f);
  EXPECT_EQ(space[1], 0.0f);
  EXPECT_GT(rowHeight * 256, 14.0f); // a 16-pixel face with its descent
  int rows = 1;
  for (int c = 33; c <= 126; ++c) {
    const float *previous = font.cell(c - 1), *cell = font.cell(c);
    EXPECT_FLOAT_EQ(cell[3] - cell[1], rowHeight) << c;
    if (cell[1] == previous[1]) {
      EXPECT_NEAR(cell[0], previous[2] + texel, 1e-6f) << c;
    } else {
      ++rows;
      EXPECT_EQ(cell[0], 0.0f) << c;
      EXPECT_NEAR(cell[1], previous[1] + rowHeight + texel, 1e-6f) << c;
    }
    EXPECT_LE(cell[2], 1.0f) << c;
  }
  EXPECT_GE(rows, 2);
  // The glyph texture is white where the glyphs are, in 16 alpha levels.
  const Texture *glyphs = font.texture();
  int inked = 0;
  for (std::uint32_t i = 0; i < 256 * 256; ++i) {
    std::uint16_t texel16;
    std::memcpy(&texel16, glyphs->pixels() + 2 * i, 2);
    ASSERT_TRUE(texel16 == 0 || (texel16 & 0x0FFF) == 0x0FFF) << i;
    inked += texel16 != 0;
  }
  EXPECT_GT(inked, 500);

  // 50 visible characters are one draw inside the loop; 51 are two; spaces
  // and line feeds emit nothing.
  NullBackend &backend = *nullOf(device);
  auto draws = [&](const std::string &text) {
    const int before = backend.draws;
    EXPECT_EQ(font.drawString(2, 0, 0xFFFFFF00u, text.c_str(), 0), 0);
    return backend.draws - before;
  };
  EXPECT_EQ(draws(std::string(50, 'x')), 1);
  EXPECT_EQ(draws(std::string(51, 'x')), 2);
  EXPECT_EQ(draws(""), 0);
  EXPECT_EQ(draws("   \n  "), 0);
  EXPECT_EQ(draws(std::string(100, 'x')), 2);
  const long vertices = backend.vertices;
  draws("a\nb c");
  EXPECT_EQ(backend.vertices - vertices, 18);

  // The states come back as they were.
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device.setRenderState(D3DRS_ALPHABLENDENABLE, 0);
  device.setTexture(0, nullptr);
  font.drawString(0, 0, 0xFFFFFFFFu, "abc", 0);
  EXPECT_EQ(backend.last.renderstate[D3DRS_CULLMODE], D3DCULL_CCW);
  EXPECT_EQ(backend.last.renderstate[D3DRS_ALPHABLENDENABLE], 1u);
  EXPECT_EQ(device.renderState(D3DRS_CULLMODE), D3DCULL_NONE);
  EXPECT_EQ(device.renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(device.state().texture[0], nullptr);

  font.releaseDeviceResources();
  EXPECT_LT(font.drawString(0, 0, 0, "x", 0), 0);
}

// Every kind of state a block can hold waits for the block to be applied.
TEST(Device, StateBlocksHoldTransformsMaterialLightsAndTheStream) {
  Device device(nullptr);
  auto buffer = device.createVertexBuffer(96, 0, 0x142, D3DPOOL_DEFAULT);
  const Matrix moved = matrixTranslation(1, 2, 3);
  Material red;
  red.diffuse = {1, 0, 0, 1};
  Light light;
  light.range = 7.0f;

  device.beginStateBlock();
  device.setTransform(D3DTS_VIEW, moved);
  device.setTransform(D3DTS_TEXTURE1, moved);
  device.setMaterial(red);
  device.setLight(2, light);
  device.lightEnable(2, true);
  device.setStreamSource(buffer.get(), 24);
  device.setVertexShader(0x142);
  const StateBlock block = device.endStateBlock();
  const DeviceState &state = device.state();
  EXPECT_EQ(state.view, matrixIdentity());
  EXPECT_EQ(state.texturetransform[1], matrixIdentity());
  EXPECT_EQ(state.material.diffuse.r, 0.0f);
  EXPECT_EQ(state.lights[2].range, 0.0f);
  EXPECT_FALSE(state.lightenabled[2]);
  EXPECT_EQ(state.stream, nullptr);
  EXPECT_EQ(state.fvf, 0u);

  device.applyStateBlock(block);
  EXPECT_EQ(state.view, moved);
  EXPECT_EQ(state.texturetransform[1], moved);
  EXPECT_EQ(state.world, matrixIdentity()); // not in the block
  EXPECT_EQ(state.material.diffuse.r, 1.0f);
  EXPECT_EQ(state.lights[2].range, 7.0f);
  EXPECT_TRUE(state.lightenabled[2]);
  EXPECT_EQ(state.stream, buffer.get());
  EXPECT_EQ(state.stride, 24u);
  EXPECT_EQ(state.fvf, 0x142u);

  // Captured again from the live values, then restored by applying.
  device.setTransform(D3DTS_VIEW, matrixScaling(2, 2, 2));
  device.lightEnable(2, false);
  device.captureStateBlock(block);
  device.setTransform(D3DTS_VIEW, matrixIdentity());
  device.lightEnable(2, true);
  device.applyStateBlock(block);
  EXPECT_EQ(state.view, matrixScaling(2, 2, 2));
  EXPECT_FALSE(state.lightenabled[2]);
}

// Under a flattening transform (a planar shadow), a normal along the
// flattened axis goes to zero; normalized, it has no direction and its
// coordinates are NaN, as Wine's Direct3D 8 makes them. Another normal
// keeps finite coordinates, and without normalizing the zero normal
// reflects the eye direction.
TEST(Texgen, ZeroNormalsUnderAFlatteningTransform) {
  Matrix flat = matrixIdentity();
  flat.m[1][1] = 0.0f; // y collapses onto a plane
  flat.m[3][2] = 5.0f;
  struct Vertex {
    float p[3], n[3];
  } vertices[2] = {{{0, 0, 0}, {0, 1, 0}}, {{0, 0, 0}, {1, 0, 0}}};
  TexgenInput in{reinterpret_cast<const std::uint8_t *>(vertices),
                 sizeof(Vertex),
                 2,
                 12,
                 flat,
                 normalMatrix(flat),
                 true,
                 true,
                 nullptr};
  ASSERT_TRUE(flattens(flat));
  float uv[4];
  generateCoordinates(in, uv);
  EXPECT_TRUE(std::isnan(uv[0]) && std::isnan(uv[1]));
  EXPECT_TRUE(std::isfinite(uv[2]) && std::isfinite(uv[3]));
  in.normalize = false;
  generateCoordinates(in, uv);
  EXPECT_FLOAT_EQ(uv[0], 0.0f); // the eye looks along +z from the origin
  EXPECT_FLOAT_EQ(uv[1], 0.0f);
}
