#pragma once

#include <string>

namespace korvane {

// Writes 8-bit RGB rows (top first) as a PNG file; false on failure.
bool writePng(const std::string &path, int width, int height,
              const std::string &rgb);

} // namespace korvane
