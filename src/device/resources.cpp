#include "device/resources.h"

#include <algorithm>

namespace korvane {

std::uint32_t bytesPerPixel(PixelFormat format) {
  switch (format) {
  case D3DFMT_A8R8G8B8:
  case D3DFMT_X8R8G8B8:
    return 4;
  case D3DFMT_R5G6B5:
  case D3DFMT_X1R5G5B5:
  case D3DFMT_A1R5G5B5:
  case D3DFMT_A4R4G4B4:
    return 2;
  case D3DFMT_R3G3B2:
    return 1;
  default:
    return 0;
  }
}

Texture::Texture(std::uint32_t width, std::uint32_t height,
                 std::uint32_t levels, PixelFormat format, Pool pool,
                 Lifetime lifetime)
    : pixelformat(format), memorypool(pool),
      alive(lifetime ? std::move(lifetime) : std::make_shared<const int>(0)) {
  std::uint32_t full = 1;
  for (std::uint32_t size = std::max(width, height); size > 1; size >>= 1)
    ++full;
  const std::uint32_t count = levels == 0 ? full : std::min(levels, full);
  const std::uint32_t bytes = bytesPerPixel(format);
  for (std::uint32_t n = 0; n < count; ++n) {
    const std::uint32_t w = std::max(1u, width >> n);
    const std::uint32_t h = std::max(1u, height >> n);
    level.push_back({w, h, w * bytes,
                     std::vector<std::uint8_t>(std::size_t(w) * h * bytes)});
  }
}

void Texture::unlock(std::uint32_t n) {
  ++changes;
  if (n < level.size())
    ++level[n].version;
}

VertexBuffer::VertexBuffer(std::uint32_t bytes, std::uint32_t usage,
                           std::uint32_t fvf, Lifetime lifetime)
    : memory(bytes), bufferusage(usage), vertexformat(fvf),
      alive(lifetime ? std::move(lifetime) : std::make_shared<const int>(0)) {}

} // namespace korvane
