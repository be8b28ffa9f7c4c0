#pragma once

// Textures and vertex buffers: plain memory in the layouts Direct3D 8 gives
// them, with counts of their changes. Nothing here knows what draws them:
// a backend that keeps data of its own for a texture (a GL name) watches
// the texture's lifetime and finds out when it has gone.

#include "device/d3d_types.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace korvane {

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
  ~Texture();
  Texture(const Texture &) = delete;
  Texture &operator=(const Texture &) = delete;

  std::uint32_t levelCount() const {
    return static_cast<std::uint32_t>(level.size());
  }
  std::uint32_t width(std::uint32_t n = 0) const { return level[n].width; }
  std::uint32_t height(std::uint32_t n = 0) const { return level[n].height; }
  std::uint32_t pitch(std::uint32_t n = 0) const { return level[n].pitch; }
  PixelFormat format() const { return pixelformat; }
  Pool pool() const { return memorypool; }

  // Level n's rows; unlocking marks the level changed.
  std::uint8_t *lock(std::uint32_t n = 0) { return level[n].pixels.data(); }
  void unlock(std::uint32_t n = 0);
  const std::uint8_t *pixels(std::uint32_t n = 0) const {
    return level[n].pixels.data();
  }
  // Bumped whenever a level changes.
  std::uint64_t version() const { return changes; }
  // Level n's own count of changes.
  std::uint64_t levelVersion(std::uint32_t n) const { return level[n].version; }
  // Expires when the texture goes.
  std::weak_ptr<const void> lifetime() const { return alive; }

  TraceLink trace;

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
  std::shared_ptr<const int> alive = std::make_shared<const int>(0);
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

} // namespace korvane
