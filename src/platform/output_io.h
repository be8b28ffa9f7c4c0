#pragma once

#include <string>

struct AVIOContext;

namespace korvane {

// FFmpeg's output to `path`, opened as every output of Korvane is: never
// through a link, and only as a plain file (a FIFO or device is refused
// without blocking). Null with `why` otherwise.
AVIOContext *openPlainOutput(const std::string &path, std::string &why);

} // namespace korvane
