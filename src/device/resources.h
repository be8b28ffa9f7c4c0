#pragma once

// Textures and vertex buffers: plain memory in the layouts Direct3D 8 gives
// them, with counts of their changes. Nothing here knows what draws or
// records them: whoever keeps data of its own for one (a backend's GL
// name, a trace's id) watches its lifetime to find out when it has gone.

#include "device/d3d_types.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace korvane {

// An object's lifetime: a token the object holds alone, so that it ends
// exactly when the object goes. Those who keep a weak pointer to it see it
// expire; a token whose end tells someone (the device's listeners) tells
// them then. An object given none makes a plain one.
using Lifetime = std::shared_ptr<const void>;

// A texture with its levels kept in memory in its own pixel format, the
// way a locked Direct3D texture shows them: rows of `pitch` bytes.
class Texture {
public:
  Texture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
          PixelFormat format, Pool pool, Lifetime lifetime = nullptr);
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
  Lifetime alive; // last, to end before the levels
};

std::uint32_t bytesPerPixel(PixelFormat format);

class VertexBuffer {
public:
  VertexBuffer(std::uint32_t bytes, std::uint32_t usage, std::uint32_t fvf,
               Lifetime lifetime = nullptr);
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

private:
  std::vector<std::uint8_t> memory;
  std::uint32_t bufferusage;
  std::uint32_t vertexformat;
  std::uint64_t changes = 1;
  Lifetime alive; // last, to end before the memory
};

} // namespace korvane
