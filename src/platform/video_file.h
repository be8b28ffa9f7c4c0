#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// Frames of a video by number, each as a 40-byte picture header followed
// by 24-bit blue-green-red pixels, bottom row first.
class FrameSource {
public:
  virtual ~FrameSource() = default;
  std::uint32_t rate = 0, scale = 1; // frames per second = rate / scale
  std::int32_t length = 0;           // frames
  std::int32_t start = 0;            // number of the first frame
  // Frame n, or null when it cannot be delivered. Valid until the next call.
  virtual const std::uint8_t *frame(std::int32_t n) = 0;
};

// The first video stream of a file, decoded with FFmpeg. Null on failure,
// with `step` naming the step that failed ("AVIFileOpen", "AVIFileGetStream",
// "AVIStreamReadFormat", "AVIStreamInfo", "AVIStreamGetFrameOpen").
std::unique_ptr<FrameSource> openVideoFile(const std::string &name,
                                           std::string &step);

} // namespace korvane
