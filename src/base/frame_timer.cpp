#include "base/frame_timer.h"

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

template <typename T>
double FrameTimer::command(Readings<T> &r, int command, T now, T step,
                           double unit) {
  switch (command) {
  case TIMER_RESET:
    r.base = now;
    r.lastelapsed = now;
    r.stop = 0;
    stopped = 0;
    return 0.0;
  case TIMER_START:
    if (stopped)
      r.base += now - r.stop;
    r.stop = 0;
    r.lastelapsed = now;
    stopped = 0;
    return 0.0;
  case TIMER_STOP:
    r.stop = now;
    r.lastelapsed = now;
    stopped = 1;
    return 0.0;
  case TIMER_ADVANCE:
    r.stop += step;
    return 0.0;
  case TIMER_CLOCKTIME:
    return static_cast<double>(now) / unit;
  case TIMER_RUNNINGTIME:
    return static_cast<double>(now - r.base) / unit;
  case TIMER_ELAPSEDTIME: {
    const double elapsed = static_cast<double>(now - r.lastelapsed) / unit;
    r.lastelapsed = now;
    return elapsed;
  }
  default:
    return -1.0;
  }
}

double FrameTimer::operator()(int which) {
  if (!initialised) {
    initialised = true;
    counterAvailable = clock.counterFrequency(frequency) && frequency > 0;
  }
  // A stopped timer stands still for every reading but the clock time.
  const bool standStill = which != TIMER_START && which != TIMER_CLOCKTIME;
  if (counterAvailable) {
    Readings<std::int64_t> &r = counterReadings;
    const std::int64_t now =
        r.stop != 0 && standStill ? r.stop : clock.counter();
    // A tenth of a second in whole ticks.
    return command(r, which, now, frequency / 10,
                   static_cast<double>(frequency));
  }
  Readings<double> &r = fallbackReadings;
  const double now =
      r.stop != 0.0 && standStill ? r.stop : clock.milliseconds() * 0.001;
  // The tenth of a second in single precision, widened.
  return command(r, which, now, static_cast<double>(0.1f), 1.0);
}

double frameTimer(int command) {
  static SystemTimerClock clock;
  static FrameTimer timer(clock);
  return timer(command);
}

} // namespace korvane
