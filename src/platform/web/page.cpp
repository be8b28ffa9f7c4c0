#include "platform/page.h"
#include "platform/web/library.h"

#include <emscripten.h>

namespace korvane::page {

void everyFrame(void (*turn)(void *), void *arg, bool unpaced) {
  emscripten_set_main_loop_arg(turn, arg, 0, 0);
  if (unpaced)
    emscripten_set_main_loop_timing(EM_TIMING_SETIMMEDIATE, 0);
}

void ready(void *player) { korvane_announce(player); }

void markShown(std::int64_t ms) {
  const std::string value = std::to_string(ms);
  korvane_mark("data-shown", ms < 0 ? nullptr : value.c_str());
}

void markFrame(std::uint32_t showTime, bool paused, std::uint32_t frames) {
  korvane_mark("data-time", std::to_string(showTime).c_str());
  korvane_mark("data-paused", paused ? "true" : "false");
  korvane_mark("data-frames", std::to_string(frames).c_str());
}

void offerDownload(const std::string &name, const std::string &bytes,
                   const char *type) {
  korvane_download(name.c_str(), bytes.data(), static_cast<int>(bytes.size()),
                   type);
}

} // namespace korvane::page
