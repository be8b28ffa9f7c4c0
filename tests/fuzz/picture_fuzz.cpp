// The picture decoder over arbitrary bytes: JPEG, PNG, BMP (plain and
// run-length encoded), TGA, PPM and DDS (with its mip levels), each told
// apart by its first bytes. Nothing may crash or read out of bounds, and
// every level holds the pixels its size says.

#include "fuzz/fuzz_entry.h"
#include "gfxutil/picture_file.h"

#include <cstddef>
#include <cstdint>

int fuzzPicture(const std::uint8_t *data, std::size_t size) {
  korvane::Picture picture;
  // Pictures of up to 256 pixels a side keep each run short: a 40-byte RLE
  // file may decode to the whole limit, and that decoding is the cost.
  if (!korvane::decodePicture(data, size, picture, 256))
    return 0;
  if (picture.bgra.size() !=
      std::size_t(picture.width) * std::size_t(picture.height) * 4)
    __builtin_trap();
  for (const korvane::PictureLevel &level : picture.levels)
    if (level.width < 1 || level.height < 1 ||
        level.bgra.size() !=
            std::size_t(level.width) * std::size_t(level.height) * 4)
      __builtin_trap();
  return 0;
}

KORVANE_FUZZ_ENTRY(fuzzPicture)
