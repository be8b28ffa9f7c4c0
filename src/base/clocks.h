#pragma once

#include "base/frame_timer.h"
#include "base/tick_source.h"

#include <cstdint>

namespace korvane {

// A clock that moves only when told to: the show clock, the blob motion's
// tick readings and the frame timer of an offline render all read it, so
// that the same command draws the same pixels.
class VirtualClock final : public TickSource, public TimerClock {
public:
  void set(std::uint32_t milliseconds) { now = milliseconds; }
  std::uint32_t tickCount() override { return now; }
  bool counterFrequency(std::int64_t &frequency) override {
    frequency = 1000;
    return true;
  }
  std::int64_t counter() override { return now; }
  std::uint32_t milliseconds() override { return now; }

private:
  std::uint32_t now = 0;
};

} // namespace korvane
