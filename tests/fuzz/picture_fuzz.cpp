// The picture decoder over arbitrary bytes: JPEG, PNG, BMP and TGA, each
// told apart by its first bytes. Nothing may crash or read out of bounds.

#include "fuzz/fuzz_entry.h"
#include "gfxutil/picture_file.h"

#include <cstddef>
#include <cstdint>

int fuzzPicture(const std::uint8_t *data, std::size_t size) {
  korvane::Picture picture;
  // Pictures of up to 256 pixels a side keep each run short: a 40-byte RLE
  // file may decode to the whole limit, and that decoding is the cost.
  if (korvane::decodePicture(data, size, picture, 256) &&
      picture.bgra.size() !=
          std::size_t(picture.width) * std::size_t(picture.height) * 4)
    __builtin_trap();
  return 0;
}

KORVANE_FUZZ_ENTRY(fuzzPicture)
