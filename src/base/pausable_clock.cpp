#include "base/pausable_clock.h"

namespace korvane {

void PausableClock::pause() {
  if (held)
    return;
  tickAtPause = tickCount();
  counterAtPause = counter();
  millisecondsAtPause = milliseconds();
  held = true;
}

void PausableClock::resume() {
  if (!held)
    return;
  held = false;
  // From now on the readings lag the real ones by all the time spent
  // paused; unsigned subtraction keeps the 32-bit readings' wrap.
  pausedTicks = ticks.tickCount() - tickAtPause;
  pausedCounter = timer.counter() - counterAtPause;
  pausedMilliseconds = timer.milliseconds() - millisecondsAtPause;
}

std::uint32_t PausableClock::tickCount() {
  return held ? tickAtPause : ticks.tickCount() - pausedTicks;
}

std::int64_t PausableClock::counter() {
  return held ? counterAtPause : timer.counter() - pausedCounter;
}

std::uint32_t PausableClock::milliseconds() {
  return held ? millisecondsAtPause : timer.milliseconds() - pausedMilliseconds;
}

} // namespace korvane
