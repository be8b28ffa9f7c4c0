#pragma once

#include "device/d3d_types.h"
#include "gfxutil/math3d.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace korvane {

class DeviceBackend;
class DeviceTrace;

// What a device trace knows of one of its textures or vertex buffers: the
// id it wrote, and the trace to tell when the object goes.
struct TraceLink {
  DeviceTrace *trace = nullptr;
  std::uint32_t id = 0;
};

// A texture with its levels kept in memory in its own pixel format, the
// way a locked Direct3D texture shows them: rows of `pitch` bytes.
class Texture {
public:
  Texture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
          PixelFormat format, Pool pool);

  std::uint32_t levelCount() const {
    return static_cast<std::uint32_t>(level.size());
  }
  std::uint32_t width(std::uint32_t n = 0) const { return level[n].width; }
  std::uint32_t height(std::uint32_t n = 0) const { return level[n].height; }
  std::uint32_t pitch(std::uint32_t n = 0) const { return level[n].pitch; }
  PixelFormat format() const { return pixelformat; }
  Pool pool() const { return memorypool; }

  // Level n's rows; unlocking marks the level changed for the backend.
  std::uint8_t *lock(std::uint32_t n = 0) { return level[n].pixels.data(); }
  void unlock(std::uint32_t n = 0);
  const std::uint8_t *pixels(std::uint32_t n = 0) const {
    return level[n].pixels.data();
  }
  // Bumped whenever a level changes, so that a backend re-uploads it.
  std::uint64_t version() const { return changes; }
  // Level n's own count of changes.
  std::uint64_t levelVersion(std::uint32_t n) const { return level[n].version; }

  TraceLink trace;

  // Backend data (a GL texture name); released with the texture.
  std::uint32_t backendname = 0;
  std::uint64_t backendversion = 0;
  DeviceBackend *backend = nullptr;
  ~Texture();
  Texture(const Texture &) = delete;
  Texture &operator=(const Texture &) = delete;

private:
  struct Level {
    std::uint32_t width, height, pitch;
    std::vector<std::uint8_t> pixels;
    std::uint64_t version = 1;
  };
  std::vector<Level> level;
  PixelFormat pixelformat;
  Pool memorypool;
  std::uint64_t changes = 1;
};

std::uint32_t bytesPerPixel(PixelFormat format);

class VertexBuffer {
public:
  VertexBuffer(std::uint32_t bytes, std::uint32_t usage, std::uint32_t fvf)
      : memory(bytes), bufferusage(usage), vertexformat(fvf) {}
  ~VertexBuffer();
  VertexBuffer(const VertexBuffer &) = delete;
  VertexBuffer &operator=(const VertexBuffer &) = delete;
  // The whole buffer from `offset` on; no checks beyond the size.
  std::uint8_t *lock(std::uint32_t offset = 0) {
    return offset < memory.size() ? memory.data() + offset : nullptr;
  }
  // Marks the content changed.
  void unlock() { ++changes; }
  std::uint32_t size() const {
    return static_cast<std::uint32_t>(memory.size());
  }
  const std::uint8_t *data() const { return memory.data(); }
  std::uint32_t usage() const { return bufferusage; }
  std::uint32_t fvf() const { return vertexformat; }
  std::uint64_t version() const { return changes; }

  TraceLink trace;

private:
  std::vector<std::uint8_t> memory;
  std::uint32_t bufferusage;
  std::uint32_t vertexformat;
  std::uint64_t changes = 1;
};

// Size in bytes of one vertex of a flexible vertex format.
std::uint32_t vertexSize(std::uint32_t fvf);

constexpr int maxStages = 2;
constexpr int maxLights = 8;

// Everything a draw depends on, as the setters recorded it. States keep
// their values until set again, across draws and frames.
struct DeviceState {
  std::uint32_t renderstate[D3DRS_COUNT] = {};
  std::uint32_t stagestate[maxStages][D3DTSS_COUNT] = {};
  Matrix world = matrixIdentity();
  Matrix view = matrixIdentity();
  Matrix projection = matrixIdentity();
  Matrix texturetransform[maxStages] = {matrixIdentity(), matrixIdentity()};
  Material material;
  Light lights[maxLights];
  bool lightenabled[maxLights] = {};
  Texture *texture[maxStages] = {};
  const VertexBuffer *stream = nullptr;
  std::uint32_t stride = 0;
  std::uint32_t fvf = 0;
};

// What draws: GL, or nothing at all.
class DeviceBackend {
public:
  virtual ~DeviceBackend() = default;
  virtual void clear(std::uint32_t flags, std::uint32_t color, float z,
                     std::uint32_t stencil) = 0;
  virtual void draw(const DeviceState &state, PrimitiveType type,
                    std::uint32_t startVertex, std::uint32_t vertexCount) = 0;
  // Triangles by index into all `vertexCount` vertices of the stream.
  virtual void drawIndexed(const DeviceState &state,
                           const std::uint32_t *indices,
                           std::uint32_t indexCount,
                           std::uint32_t vertexCount) = 0;
  virtual void present() = 0;
  virtual void releaseTexture(Texture &) {}
  virtual bool hardwareVertexProcessing() const = 0;
  virtual std::uint32_t maxTextureSize() const = 0;
};

// Resources in memory, draws that do nothing: for loaders, parsers, tools
// and tests that need no picture. Counts what it was asked to do.
class NullBackend final : public DeviceBackend {
public:
  void clear(std::uint32_t, std::uint32_t, float, std::uint32_t) override {
    ++clears;
  }
  void draw(const DeviceState &state, PrimitiveType, std::uint32_t,
            std::uint32_t vertexCount) override {
    ++draws;
    vertices += vertexCount;
    last = state;
  }
  void drawIndexed(const DeviceState &state, const std::uint32_t *,
                   std::uint32_t indexCount, std::uint32_t) override {
    ++draws;
    vertices += indexCount;
    last = state;
  }
  void present() override { ++presents; }
  bool hardwareVertexProcessing() const override { return true; }
  std::uint32_t maxTextureSize() const override { return 8192; }

  int clears = 0, draws = 0, presents = 0;
  long vertices = 0;
  DeviceState last;
};

using StateBlock = std::uint32_t; // 0 is no block

// The Direct3D 8 device as the renderers see it: setters record state, a
// draw hands the recorded state to the backend.
class Device {
public:
  // With a trace, every call from construction on is written to it.
  explicit Device(std::unique_ptr<DeviceBackend> backend,
                  DeviceTrace *trace = nullptr);
  ~Device();

  void setRenderState(std::uint32_t state, std::uint32_t value);
  std::uint32_t renderState(std::uint32_t state) const;
  void setTextureStageState(int stage, std::uint32_t type, std::uint32_t value);
  std::uint32_t textureStageState(int stage, std::uint32_t type) const;
  void setTransform(TransformType which, const Matrix &matrix);
  const Matrix &transform(TransformType which) const;
  void setMaterial(const Material &material);
  void setLight(int index, const Light &light);
  void lightEnable(int index, bool enable);
  void setTexture(int stage, Texture *texture);

  // Null on failure (a size of 0, an unknown format).
  std::unique_ptr<Texture>
  createTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                std::uint32_t usage, PixelFormat format, Pool pool);
  std::unique_ptr<VertexBuffer> createVertexBuffer(std::uint32_t bytes,
                                                   std::uint32_t usage,
                                                   std::uint32_t fvf,
                                                   Pool pool);
  // Copies the levels both have from a system-memory texture.
  bool updateTexture(const Texture &source, Texture &destination);

  void beginStateBlock();
  StateBlock endStateBlock();
  void captureStateBlock(StateBlock block);
  void applyStateBlock(StateBlock block);
  void deleteStateBlock(StateBlock block);

  void clear(std::uint32_t flags, std::uint32_t color, float z,
             std::uint32_t stencil);
  void beginScene();
  void endScene();
  void present();
  void setStreamSource(const VertexBuffer *buffer, std::uint32_t stride);
  void setVertexShader(std::uint32_t fvf);
  void drawPrimitive(PrimitiveType type, std::uint32_t startVertex,
                     std::uint32_t primitiveCount);
  // A triangle list by 32-bit indices into the bound stream; refused when
  // an index lies outside it.
  void drawIndexedTriangles(const std::uint32_t *indices,
                            std::uint32_t triangleCount);

  const DeviceState &state() const { return current; }
  DeviceBackend &backend() { return *drawer; }
  bool hardwareVertexProcessing() const {
    return drawer->hardwareVertexProcessing();
  }
  std::uint32_t maxTextureSize() const { return drawer->maxTextureSize(); }

private:
  struct Recorded;
  Recorded *recording();
  // Where a setter's value goes: the block being recorded, or the device.
  DeviceState &written();

  std::unique_ptr<DeviceBackend> drawer;
  DeviceTrace *tracer;
  DeviceState current;
  std::vector<std::unique_ptr<Recorded>> blocks; // index + 1 is the handle
  std::unique_ptr<Recorded> open;                // being recorded
};

} // namespace korvane
