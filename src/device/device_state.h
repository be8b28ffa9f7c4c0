#pragma once

// The state a draw depends on, the groups it is bound to a backend in, and
// the backends themselves.

#include "base/math3d.h"
#include "device/d3d_types.h"
#include "device/resources.h"

#include <cstdint>

namespace korvane {

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

// The groups a backend binds state in. A setter that changes a value marks
// its group; a draw binds the marked groups and clears their marks.
enum StateGroup : std::uint32_t {
  GROUP_BLEND = 1u << 0,      // blending on, the two factors
  GROUP_DEPTH = 1u << 1,      // depth test, its function, depth writes
  GROUP_ALPHATEST = 1u << 2,  // alpha test, function, reference
  GROUP_RASTER = 1u << 3,     // culling, dithering, fill
  GROUP_TRANSFORMS = 1u << 4, // world, view, projection
  GROUP_LIGHTING = 1u << 5,   // lighting, ambient, material, lights
  GROUP_STAGE0 = 1u << 6,     // stage states, texture, texture transform
  GROUP_STAGE1 = 1u << 7,
  GROUP_FORMAT = 1u << 8, // vertex format and stream
  GROUP_ALL = (1u << 9) - 1,
};

constexpr std::uint32_t stageGroup(int stage) { return GROUP_STAGE0 << stage; }

// What else a group's change makes stale, because its binder reads it too:
// lighting and the stages read the vertex format (pre-transformed
// vertices, diffuse colours) and the transforms (lights are placed through
// the view; a flattening transform moves texture generation to the CPU);
// a disabled stage 0 ends the cascade, so stage 1 reads stage 0. Backends
// bind the groups in this order.
struct GroupDependency {
  std::uint32_t group, stale;
};
constexpr GroupDependency groupDependencies[] = {
    {GROUP_FORMAT,
     GROUP_TRANSFORMS | GROUP_LIGHTING | GROUP_STAGE0 | GROUP_STAGE1},
    {GROUP_TRANSFORMS, GROUP_LIGHTING | GROUP_STAGE0 | GROUP_STAGE1},
    {GROUP_STAGE0, GROUP_STAGE1},
};

// `groups` with every group that their change makes stale.
constexpr std::uint32_t withDependents(std::uint32_t groups) {
  for (const GroupDependency &dependency : groupDependencies)
    if (groups & dependency.group)
      groups |= dependency.stale;
  return groups;
}

// The group of a render state; 0 for a state no backend reads.
std::uint32_t renderStateGroup(std::uint32_t state);

// What draws: GL, or nothing at all. `dirty` holds the groups changed
// since the last draw; the backend binds them and clears their bits.
class DeviceBackend {
public:
  virtual ~DeviceBackend() = default;
  virtual void clear(std::uint32_t flags, std::uint32_t color, float z,
                     std::uint32_t stencil) = 0;
  virtual void draw(const DeviceState &state, std::uint32_t &dirty,
                    PrimitiveType type, std::uint32_t startVertex,
                    std::uint32_t vertexCount) = 0;
  // Triangles by index into all `vertexCount` vertices of the stream.
  virtual void drawIndexed(const DeviceState &state, std::uint32_t &dirty,
                           const std::uint32_t *indices,
                           std::uint32_t indexCount,
                           std::uint32_t vertexCount) = 0;
  virtual void present() = 0;
  virtual bool hardwareVertexProcessing() const = 0;
  virtual std::uint32_t maxTextureSize() const = 0;
};

// Resources in memory, draws that do nothing: for loaders, parsers, tools
// and tests that need no picture. Counts what it was asked to do, and
// keeps the state and the groups marked at the last draw.
class NullBackend final : public DeviceBackend {
public:
  void clear(std::uint32_t, std::uint32_t, float, std::uint32_t) override {
    ++clears;
  }
  void draw(const DeviceState &state, std::uint32_t &dirty, PrimitiveType,
            std::uint32_t, std::uint32_t vertexCount) override {
    drawn(state, dirty, vertexCount);
  }
  void drawIndexed(const DeviceState &state, std::uint32_t &dirty,
                   const std::uint32_t *, std::uint32_t indexCount,
                   std::uint32_t) override {
    drawn(state, dirty, indexCount);
  }
  void present() override { ++presents; }
  bool hardwareVertexProcessing() const override { return true; }
  std::uint32_t maxTextureSize() const override { return 8192; }

  int clears = 0, draws = 0, presents = 0;
  long vertices = 0;
  DeviceState last;

private:
  void drawn(const DeviceState &state, std::uint32_t &dirty,
             std::uint32_t count) {
    ++draws;
    vertices += count;
    last = state;
    dirty = 0;
  }
};

} // namespace korvane
