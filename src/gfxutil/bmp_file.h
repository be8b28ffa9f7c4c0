#pragma once

// Windows bitmaps whose pixels index a palette: 1, 2, 4 or 8 bits a pixel,
// stored plainly or run-length encoded (RLE8, RLE4), decoded to opaque
// 8-bit BGRA. Bitmaps of 16, 24 or 32 bits a pixel are left to the general
// decoder.

#include "gfxutil/picture.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane {

// Whether `data` is a bitmap file this decoder reads.
bool isPaletteBmp(const std::uint8_t *data, std::size_t size);

// False with `refusal` saying why ("is ..."); `oversized` when the picture
// is wider or taller than `maxSide`, or holds more than `maxPixels`, which
// is refused before anything is allocated. Pixels that run-length data
// skips are black, as are indices past the end of the palette; data that
// ends before the last row is refused.
bool decodePaletteBmp(const std::uint8_t *data, std::size_t size, Picture &out,
                      std::uint64_t maxSide, std::uint64_t maxPixels,
                      std::string &refusal, bool &oversized);

} // namespace korvane
