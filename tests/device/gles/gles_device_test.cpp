// The GLES backend's own state check: the program in use and its
// uniforms, read back from GL, against what the device's state requires.

#include "render_support.h"

#include <GLES3/gl3.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace korvane;
using namespace korvane::test;

namespace {

// A lit, textured quad: a program with lighting, a texture matrix and the
// alpha test, so that each kind of uniform is read.
struct LitScene {
  std::unique_ptr<Window> window;
  GraphicsDevice graphics;
  Arcball arcball;
  GlesBackend *gles = nullptr;
  std::unique_ptr<VertexBuffer> quad;
  std::unique_ptr<Texture> texture;

  LitScene() {
    headless();
    std::string error;
    window = Window::create("test", 16, 16, false, true, error, true);
    EXPECT_TRUE(window) << error;
    auto backend =
        std::make_unique<GlesBackend>(16, 16, nullptr, standardLogger());
    gles = backend.get();
    const Logger quiet; // the device's start lines are not what is tested
    setupDevice(graphics, std::move(backend), arcball, 16, 16, quiet);
    Device &device = *graphics.device;
    struct Vertex {
      float x, y, z, nx, ny, nz, u, v;
    };
    const std::uint32_t fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    quad =
        device.createVertexBuffer(4 * sizeof(Vertex), 0, fvf, D3DPOOL_DEFAULT);
    const Vertex corners[4] = {{-5, 5, 0, 0, 0, -1, 0, 0},
                               {5, 5, 0, 0, 0, -1, 1, 0},
                               {-5, -5, 0, 0, 0, -1, 0, 1},
                               {5, -5, 0, 0, 0, -1, 1, 1}};
    std::memcpy(quad->lock(0), corners, sizeof corners);
    quad->unlock();
    texture =
        device.createTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    std::memset(texture->lock(0), 0xFF, 16);
    texture->unlock(0);
    setDefaultTransforms(device);
    device.setTransform(D3DTS_VIEW, matrixTranslation(0, 0, 2));
    device.setStreamSource(quad.get(), sizeof(Vertex));
    device.setVertexShader(fvf);
    device.setTexture(0, texture.get());
    device.setTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS,
                                D3DTTFF_COUNT2);
    device.setTransform(D3DTS_TEXTURE0, matrixTranslation(0.25f, 0, 0));
    Light light;
    light.diffuse = {0.5f, 0.5f, 0.5f, 1};
    light.direction[2] = 1.0f;
    device.setLight(0, light);
    device.lightEnable(0, true);
    Material material;
    material.diffuse = {1, 1, 1, 1};
    device.setMaterial(material);
    device.setRenderState(D3DRS_ALPHATESTENABLE, 1);
    device.setRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device.setRenderState(D3DRS_ALPHAREF, 0x40);
  }
  ~LitScene() { teardownDevice(graphics); }
  void draw() { graphics.device->drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2); }
};

GLint current() {
  GLint program = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  return program;
}

} // namespace

// Uniforms, the program in use and other state changed behind the
// backend's back are named before the next draw.
TEST(GlesDevice, StateCheckNamesWhatTheProgramGotWrong) {
  const struct {
    void (*sabotage)();
    const char *named;
  } cases[] = {
      {[] {
         const GLint at = glGetUniformLocation(current(), "u_alpharef");
         glUniform1f(at, 0.9f);
       },
       "uniform alpha reference"},
      {[] {
         const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0,
                                     0, 0, 1, 0, 0, 0, 0, 1};
         glUniformMatrix4fv(glGetUniformLocation(current(), "u_texture0"), 1,
                            GL_FALSE, identity);
       },
       "uniform texture matrix 0"},
      {[] {
         const float dim[4] = {0.1f, 0.1f, 0.1f, 1};
         glUniform4fv(glGetUniformLocation(current(), "u_lightdiffuse[0]"), 1,
                      dim);
       },
       "uniform u_lightdiffuse[0]"},
      {[] { glUseProgram(0); }, "program"},
      {[] { glDepthMask(GL_FALSE); }, "depth write mask"},
  };
  for (const auto &c : cases) {
    LitScene scene;
    std::vector<std::string> found;
    scene.gles->checkStates(
        [&found](const std::string &d) { found.push_back(d); });
    scene.graphics.device->clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER,
                                 0xFF000000u, 1.0f, 0);
    scene.draw();
    ASSERT_TRUE(found.empty()) << c.named << ": " << found.front();
    EXPECT_EQ(scene.gles->programsMade(), 1u);
    c.sabotage();
    scene.draw();
    ASSERT_FALSE(found.empty()) << c.named;
    EXPECT_EQ(found.front().rfind(c.named, 0), 0u) << found.front();
  }
}

// One program per state key: drawing the same state again makes none,
// another combiner makes one more.
TEST(GlesDevice, OneProgramPerStateKey) {
  LitScene scene;
  Device &device = *scene.graphics.device;
  scene.draw();
  scene.draw();
  device.setTransform(D3DTS_WORLD, matrixTranslation(0.5f, 0, 0));
  scene.draw();
  EXPECT_EQ(scene.gles->programsMade(), 1u);
  device.setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  scene.draw();
  EXPECT_EQ(scene.gles->programsMade(), 2u);
  device.setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  scene.draw();
  EXPECT_EQ(scene.gles->programsMade(), 2u);
}

// A state drawn without its change marked keeps the program of the state
// before: the check names the program.
TEST(GlesDevice, StateCheckNamesAStaleProgram) {
  LitScene scene;
  std::vector<std::string> found;
  scene.gles->checkStates(
      [&found](const std::string &d) { found.push_back(d); });
  scene.draw();
  ASSERT_TRUE(found.empty()) << found.front();
  DeviceState changed = scene.graphics.device->state();
  changed.stagestate[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
  std::uint32_t unmarked = 0;
  scene.gles->draw(changed, unmarked, D3DPT_TRIANGLESTRIP, 0, 4);
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found.front().rfind("program", 0), 0u) << found.front();
}
