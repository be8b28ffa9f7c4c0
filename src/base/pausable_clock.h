#pragma once

#include "base/frame_timer.h"
#include "base/tick_source.h"

#include <cstdint>

namespace korvane {

// The clocks a playing show reads (its show time, the blob motion, the
// overlay's frame rate), held still while the player is paused and going
// on from where they stood when it resumes.
class PausableClock final : public TickSource, public TimerClock {
public:
  PausableClock(TickSource &ticks, TimerClock &timer)
      : ticks(ticks), timer(timer) {}

  void pause();
  void resume();
  bool paused() const { return held; }
  // The tick count that runs on through pauses.
  std::uint32_t realTickCount() { return ticks.tickCount(); }

  std::uint32_t tickCount() override;
  bool counterFrequency(std::int64_t &frequency) override {
    return timer.counterFrequency(frequency);
  }
  std::int64_t counter() override;
  std::uint32_t milliseconds() override;

private:
  TickSource &ticks;
  TimerClock &timer;
  bool held = false;
  // The readings at the pause, and how far they lag the real ones.
  std::uint32_t tickAtPause = 0, millisecondsAtPause = 0;
  std::int64_t counterAtPause = 0;
  std::uint32_t pausedTicks = 0, pausedMilliseconds = 0;
  std::int64_t pausedCounter = 0;
};

} // namespace korvane
