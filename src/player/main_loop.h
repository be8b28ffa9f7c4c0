#pragma once

#include "base/tick_source.h"
#include "device/arcball.h"
#include "platform/window.h"
#include "playback/compose.h"

#include <cstdint>

namespace korvane {

// How a run of the main loop went: the turns it rendered and the tick
// counts taken before the first frame and after the last.
struct LoopRun {
  std::uint32_t frames = 0;
  std::uint32_t start = 0, end = 0;
};

// The player's busy loop: each turn drains the events (Escape and closing
// the window quit after the turn's frame, every Space key-down skips to the
// next part, the mouse goes to the arcball), then renders the frame for the
// ticks elapsed since the start, until no part holds the show time.
LoopRun runMainLoop(Show &show, FrameContext &frame, EventSource &events,
                    TickSource &ticks, Arcball &arcball);

} // namespace korvane
