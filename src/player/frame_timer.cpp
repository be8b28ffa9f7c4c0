#include "player/frame_timer.h"

#include <chrono>

namespace korvane {

bool SystemTimerClock::counterFrequency(std::int64_t &frequency) {
  using period = std::chrono::steady_clock::period;
  frequency = period::den / period::num;
  return true;
}

std::int64_t SystemTimerClock::counter() {
  return std::chrono::steady_clock::now().time_since_epoch().count();
}

std::uint32_t SystemTimerClock::milliseconds() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(duration_cast<std::chrono::milliseconds>(
                                        steady_clock::now().time_since_epoch())
                                        .count());
}

double FrameTimer::operator()(int command) {
  if (!initialised) {
    initialised = true;
    counterAvailable = clock.counterFrequency(frequency) && frequency > 0;
  }
  // A stopped timer stands still for every reading but the clock time.
  const bool standStill = command != TIMER_START && command != TIMER_CLOCKTIME;

  if (counterAvailable) {
    const std::int64_t now =
        counterStop != 0 && standStill ? counterStop : clock.counter();
    const double hz = static_cast<double>(frequency);
    switch (command) {
    case TIMER_RESET:
      counterBase = now;
      counterLastElapsed = now;
      counterStop = 0;
      stopped = 0;
      return 0.0;
    case TIMER_START:
      if (stopped)
        counterBase += now - counterStop;
      counterStop = 0;
      counterLastElapsed = now;
      stopped = 0;
      return 0.0;
    case TIMER_STOP:
      counterStop = now;
      counterLastElapsed = now;
      stopped = 1;
      return 0.0;
    case TIMER_ADVANCE:
      counterStop += frequency / 10;
      return 0.0;
    case TIMER_CLOCKTIME:
      return static_cast<double>(now) / hz;
    case TIMER_RUNNINGTIME:
      return static_cast<double>(now - counterBase) / hz;
    case TIMER_ELAPSEDTIME: {
      const double elapsed = static_cast<double>(now - counterLastElapsed) / hz;
      counterLastElapsed = now;
      return elapsed;
    }
    default:
      return -1.0;
    }
  }

  const double now = fallbackStop != 0.0 && standStill
                         ? fallbackStop
                         : clock.milliseconds() * 0.001;
  switch (command) {
  case TIMER_RESET:
    fallbackBase = now;
    fallbackLastElapsed = now;
    fallbackStop = 0.0;
    stopped = 0;
    return 0.0;
  case TIMER_START:
    if (stopped)
      fallbackBase += now - fallbackStop;
    fallbackStop = 0.0;
    fallbackLastElapsed = now;
    stopped = 0;
    return 0.0;
  case TIMER_STOP:
    fallbackStop = now;
    fallbackLastElapsed = now;
    stopped = 1;
    return 0.0;
  case TIMER_ADVANCE:
    fallbackStop += static_cast<double>(0.1f);
    return 0.0;
  case TIMER_CLOCKTIME:
    return now;
  case TIMER_RUNNINGTIME:
    return now - fallbackBase;
  case TIMER_ELAPSEDTIME: {
    const double elapsed = now - fallbackLastElapsed;
    fallbackLastElapsed = now;
    return elapsed;
  }
  default:
    return -1.0;
  }
}

double frameTimer(int command) {
  static SystemTimerClock clock;
  static FrameTimer timer(clock);
  return timer(command);
}

} // namespace korvane
