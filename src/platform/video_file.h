#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// One decoded picture: 24-bit blue-green-red pixels, bottom row first,
// rows `stride` bytes apart.
struct VideoFrame {
  std::int32_t width = 0, height = 0;
  std::size_t stride = 0;
  const std::uint8_t *pixels = nullptr;
};

// Frames of a video by number.
class FrameSource {
public:
  virtual ~FrameSource() = default;
  std::uint32_t rate = 0, scale = 1; // frames per second = rate / scale
  std::int32_t length = 0;           // frames
  std::int32_t start = 0;            // number of the first frame
  // Frame n, or null when it cannot be delivered. Valid until the next call.
  virtual const VideoFrame *frame(std::int32_t n) = 0;
};

// The first video stream of a file, decoded with FFmpeg. Null on failure,
// with `step` naming the step that failed ("AVIFileOpen", "AVIFileGetStream",
// "AVIStreamReadFormat", "AVIStreamInfo", "AVIStreamGetFrameOpen").
std::unique_ptr<FrameSource> openVideoFile(const std::string &name,
                                           std::string &step);
// The same over a file's bytes (read from a show's archive).
std::unique_ptr<FrameSource> openVideoBytes(std::string bytes,
                                            std::string &step);

} // namespace korvane
