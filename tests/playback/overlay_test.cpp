// The frame rate the overlay shows.

#include "base/clocks.h"
#include "playback/compose.h"

#include <gtest/gtest.h>

using namespace korvane;

// 1000 frames a second, 30 s paused at that rate, then the first second
// after: the rate is what was drawn while the clock ran, not the paused
// frames as well.
TEST(Overlay, PausedFramesAreNotCounted) {
  Device device(nullptr);
  VirtualClock clock;
  FrameTimer timer{clock};
  FrameTools tools{device, nullptr, timer};
  const OverlayState &overlay = tools.overlay;
  std::uint32_t ms = 0;
  auto run = [&](int frames, bool paused) {
    for (int i = 0; i < frames; ++i) {
      if (!paused)
        clock.set(++ms);
      endFrame(tools, {}, true, false, 0, 0);
    }
  };
  run(1500, false);
  EXPECT_NEAR(overlay.rate, 1000.0f, 5.0f);
  run(30000, true);
  run(1100, false); // one update of the rate, 1 s after the last
  EXPECT_NEAR(overlay.rate, 1000.0f, 5.0f);
}
