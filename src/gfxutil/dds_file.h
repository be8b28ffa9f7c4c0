#pragma once

// DirectDraw surface files, as the picture loader reads them: the first
// level of a 2D texture stored as DXT1, DXT3 or DXT5 blocks or as
// uncompressed 24- or 32-bit RGB with or without alpha, decoded to 8-bit
// BGRA. Cube maps, volumes and other layouts are refused with a reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

struct DdsPicture {
  int width = 0, height = 0;
  bool alpha = false;
  std::vector<std::uint8_t> bgra; // rows from the top
};

// False with `refusal` saying why ("is ..."); `oversized` when the picture
// is wider or taller than `maxSide`, or holds more than `maxPixels`, which
// is refused before anything is allocated.
bool decodeDds(const std::uint8_t *data, std::size_t size, DdsPicture &out,
               std::uint64_t maxSide, std::uint64_t maxPixels,
               std::string &refusal, bool &oversized);

} // namespace korvane
