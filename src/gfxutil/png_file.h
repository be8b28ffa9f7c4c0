#pragma once

#include "base/safe_file.h"

#include <string>

namespace korvane {

// Writes 8-bit RGB rows (top first) as a PNG file, never through a link;
// false on failure, with the reason in `why` when one is given.
bool writePng(const std::string &path, int width, int height,
              const std::string &rgb, std::string *why = nullptr,
              WriteMode mode = WriteMode::Replace);

} // namespace korvane
