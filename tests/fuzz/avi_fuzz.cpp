// The video open and the first frames over arbitrary bytes, through the
// decoder a picture layer uses: forward steps, a repeat and a seek back.

#include "fuzz/fuzz_entry.h"
#include "fuzz/fuzz_file.h"
#include "platform/video_file.h"

#include <cstring>

int fuzzAvi(const std::uint8_t *data, std::size_t size) {
  static const korvane::fuzz::InputFile input(".avi");
  if (!input.write(data, size))
    return 0;
  std::string step;
  auto video = korvane::openVideoFile(input.path, step);
  if (!video)
    return 0;
  for (std::int32_t n : {0, 1, 2, 2, 5, 0}) {
    const std::uint8_t *frame = video->frame(video->start + n);
    if (!frame)
      continue;
    // Every frame carries its picture header; touch its last pixel.
    std::int32_t header[3];
    std::memcpy(header, frame, sizeof header);
    if (header[0] != 40 || header[1] <= 0 || header[2] <= 0)
      __builtin_trap();
    volatile std::uint8_t last =
        frame[40 + std::size_t(header[1]) * std::size_t(header[2]) * 3 - 1];
    (void)last;
  }
  return 0;
}

KORVANE_FUZZ_ENTRY(fuzzAvi)
