// The video open and the first frames over arbitrary bytes, through the
// decoder a picture layer uses: forward steps, a repeat and a seek back.

#include "fuzz/fuzz_entry.h"
#include "fuzz/fuzz_file.h"
#include "platform/video_file.h"

int fuzzAvi(const std::uint8_t *data, std::size_t size) {
  static const korvane::fuzz::InputFile input(".avi");
  if (!input.write(data, size))
    return 0;
  std::string step;
  auto video = korvane::openVideoFile(input.path, step);
  if (!video)
    return 0;
  for (std::int32_t n : {0, 1, 2, 2, 5, 0}) {
    const korvane::VideoFrame *frame = video->frame(video->start + n);
    if (!frame)
      continue;
    // Every frame has a size and all its rows; touch its last pixel.
    if (frame->width <= 0 || frame->height <= 0 ||
        frame->stride < std::size_t(frame->width) * 3)
      __builtin_trap();
    volatile std::uint8_t last =
        frame->pixels[std::size_t(frame->height - 1) * frame->stride +
                      std::size_t(frame->width) * 3 - 1];
    (void)last;
  }
  return 0;
}

KORVANE_FUZZ_ENTRY(fuzzAvi)
