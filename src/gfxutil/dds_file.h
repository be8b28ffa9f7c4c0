#pragma once

// DirectDraw surface files, as the picture loader reads them: a 2D texture
// and the mip levels the file holds, stored as DXT1, DXT3 or DXT5 blocks or
// as uncompressed 24- or 32-bit RGB with or without alpha, decoded to 8-bit
// BGRA. Cube maps, volumes and other layouts are refused with a reason.

#include "gfxutil/picture.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane {

// False with `refusal` saying why ("is ..."); `oversized` when the picture
// is wider or taller than `maxSide`, or holds more than `maxPixels`, which
// is refused before anything is allocated. A file shorter than all the
// levels its header declares is refused whole.
bool decodeDds(const std::uint8_t *data, std::size_t size, Picture &out,
               std::uint64_t maxSide, std::uint64_t maxPixels,
               std::string &refusal, bool &oversized);

} // namespace korvane
