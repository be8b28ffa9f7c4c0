#pragma once

#include "device/device.h"

#include <functional>
#include <set>
#include <string>

namespace korvane {

// Draws the recorded Direct3D state with fixed-function OpenGL 2.1 in the
// GL context current on this thread. `swap` shows the back buffer.
class GlBackend final : public DeviceBackend {
public:
  GlBackend(int width, int height, std::function<void()> swap);
  ~GlBackend() override;

  void clear(std::uint32_t flags, std::uint32_t color, float z,
             std::uint32_t stencil) override;
  void draw(const DeviceState &state, PrimitiveType type,
            std::uint32_t startVertex, std::uint32_t vertexCount) override;
  void drawIndexed(const DeviceState &state, const std::uint32_t *indices,
                   std::uint32_t indexCount,
                   std::uint32_t vertexCount) override;
  void present() override;
  void releaseTexture(Texture &texture) override;
  bool hardwareVertexProcessing() const override { return hardware; }
  std::uint32_t maxTextureSize() const override { return maxtexture; }

  // The renderer's name, as GL reports it.
  const std::string &renderer() const { return renderername; }
  // GL calls that changed state, counted for measuring the cache.
  long stateCalls() const { return statecalls; }

private:
  void enable(unsigned cap, bool on);
  void bindTexture(int unit, Texture *texture);
  void applyStage(const DeviceState &state, int stage, bool pretransformed);
  // Binds stage's coordinates worked out here instead of by GL.
  void generatedCoordinates(const DeviceState &state, int stage,
                            const std::uint8_t *base,
                            std::uint32_t vertexCount);
  void loadMatrix(unsigned mode, const Matrix &matrix);
  // Applies the state and binds the arrays of `vertexCount` vertices from
  // `startVertex` on.
  void prepare(const DeviceState &state, std::uint32_t startVertex,
               std::uint32_t vertexCount);
  void activate(int unit);
  void texturingOn(int unit, bool on);
  void generationOn(int unit, bool on);
  void clientArray(int slot, unsigned array, bool on);

  int width, height;
  std::function<void()> swap;
  bool hardware = true;
  std::uint32_t maxtexture = 2048;
  std::string renderername;
  long statecalls = 0;

  // The GL state last set, so that repeating a state costs no call.
  std::set<Texture *> uploaded;
  std::uint32_t enabledcaps[64] = {};
  bool capknown[64] = {};
  int activeunit = -1;
  unsigned boundname[maxStages] = {};
  unsigned appliedsrc, applieddst; // GL's blend function
  unsigned depthfunc = 0, alphafunc = 0, frontface = 0;
  float alpharef = -1.0f;
  int depthmask = -1;
  Matrix matrices[4];
  bool matrixknown[4] = {};
  std::uint32_t envstate[maxStages][10] = {};
  bool envknown[maxStages] = {};
  int texturing[maxStages] = {-1, -1};          // GL_TEXTURE_2D per unit
  int generating[maxStages] = {-1, -1};         // texture coordinate generation
  int arrays[2 + maxStages] = {-1, -1, -1, -1}; // normal, colour, texcoords
  bool vertexarray = false;
  std::vector<float> scratch;
  // Where world x view flattens space, generated texture coordinates are
  // worked out here, as Direct3D transforms normals there.
  bool cpugeneration = false;
  std::vector<float> generated[maxStages];
};

} // namespace korvane
