#pragma once

// The state a draw depends on, the groups it is bound to a backend in, and
// the backends themselves.

#include "base/math3d.h"
#include "device/d3d_types.h"
#include "device/resources.h"

#include <bitset>
#include <cstddef>
#include <cstdint>

namespace korvane {

constexpr int maxStages = 2;
constexpr int maxLights = 8;

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

// The group of a render state; 0 for a state no backend reads.
std::uint32_t renderStateGroup(std::uint32_t state);

// Every field of the state a draw depends on, listed once:
// X(type, name, extents, group, initial value). The state, which elements a
// state block holds, their groups and their copying are all made from it.
// A field's elements are its cells in order; `group` is the group element
// `n` is bound in.
#define KORVANE_STATE_FIELDS(X)                                                \
  X(std::uint32_t, renderstate, [D3DRS_COUNT],                                 \
    renderStateGroup(static_cast<std::uint32_t>(n)), {})                       \
  X(std::uint32_t, stagestate, [maxStages][D3DTSS_COUNT],                      \
    stageGroup(static_cast<int>(n / D3DTSS_COUNT)), {})                        \
  X(Matrix, world, , GROUP_TRANSFORMS, matrixIdentity())                       \
  X(Matrix, view, , GROUP_TRANSFORMS, matrixIdentity())                        \
  X(Matrix, projection, , GROUP_TRANSFORMS, matrixIdentity())                  \
  X(Matrix, texturetransform, [maxStages], stageGroup(static_cast<int>(n)),    \
    { matrixIdentity(), matrixIdentity() })                                    \
  X(Material, material, , GROUP_LIGHTING, {})                                  \
  X(Light, lights, [maxLights], GROUP_LIGHTING, {})                            \
  X(bool, lightenabled, [maxLights], GROUP_LIGHTING, {})                       \
  X(Texture *, texture, [maxStages], stageGroup(static_cast<int>(n)), {})      \
  X(const VertexBuffer *, stream, , GROUP_FORMAT, nullptr)                     \
  X(std::uint32_t, stride, , GROUP_FORMAT, 0)                                  \
  X(std::uint32_t, fvf, , GROUP_FORMAT, 0)

// Everything a draw depends on, as the setters recorded it. States keep
// their values until set again, across draws and frames.
struct DeviceState {
#define KORVANE_STATE_MEMBER(type, name, extents, group, ...)                  \
  type name extents = __VA_ARGS__;
  KORVANE_STATE_FIELDS(KORVANE_STATE_MEMBER)
#undef KORVANE_STATE_MEMBER
};

// The fields of DeviceState, to name them where a field is picked at run
// time.
enum class StateField {
#define KORVANE_STATE_NAME(type, name, extents, group, ...) name,
  KORVANE_STATE_FIELDS(KORVANE_STATE_NAME)
#undef KORVANE_STATE_NAME
};

// Elements of all fields together, and where each field's first lies.
constexpr std::size_t stateFieldSizes[] = {
#define KORVANE_STATE_SIZE(type, name, extents, group, ...)                    \
  sizeof(DeviceState::name) / sizeof(type),
    KORVANE_STATE_FIELDS(KORVANE_STATE_SIZE)
#undef KORVANE_STATE_SIZE
};
constexpr std::size_t stateFieldStart(StateField field) {
  std::size_t start = 0;
  for (int f = 0; f < static_cast<int>(field); ++f)
    start += stateFieldSizes[f];
  return start;
}
constexpr std::size_t stateElementCount = [] {
  std::size_t total = 0;
  for (std::size_t size : stateFieldSizes)
    total += size;
  return total;
}();

// Which elements of a state a state block holds: those set while it was
// recorded.
class StateSelection {
public:
  // Marks element `n` of `field` held.
  void set(StateField field, std::size_t n = 0) {
    held.set(stateFieldStart(field) + n);
  }
  // The groups of the elements held, marked dirty when a block is applied.
  std::uint32_t groups() const;
  // Copies the elements held from one state to another.
  void copy(const DeviceState &from, DeviceState &to) const;

private:
  std::bitset<stateElementCount> held;
};

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
