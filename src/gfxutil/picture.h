#pragma once

#include <cstdint>
#include <vector>

namespace korvane {

// One smaller level a picture file holds itself.
struct PictureLevel {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgra;
};

// A decoded picture: 8-bit BGRA pixels as an A8R8G8B8 texture holds them,
// rows from the top.
struct Picture {
  int width = 0;
  int height = 0;
  bool alpha = false; // the file has an alpha channel
  std::vector<std::uint8_t> bgra;
  // The mip levels below the picture that the file holds (DDS files only),
  // each half the size of the last, down to 1x1 or fewer.
  std::vector<PictureLevel> levels;
};

} // namespace korvane
