#pragma once

#include <cstdint>

namespace korvane {

// Where the frame timer reads the time: a high-resolution counter when the
// system has one, a millisecond clock otherwise.
class TimerClock {
public:
  virtual ~TimerClock() = default;
  // Counter ticks per second, or false when there is no counter.
  virtual bool counterFrequency(std::int64_t &frequency) = 0;
  virtual std::int64_t counter() = 0;
  virtual std::uint32_t milliseconds() = 0;
};

// The system's clocks: std::chrono::steady_clock as the counter.
class SystemTimerClock final : public TimerClock {
public:
  bool counterFrequency(std::int64_t &frequency) override;
  std::int64_t counter() override;
  std::uint32_t milliseconds() override;
};

enum TimerCommand : int {
  TIMER_RESET = 0,
  TIMER_START = 1,
  TIMER_STOP = 2,
  TIMER_ADVANCE = 3,
  TIMER_CLOCKTIME = 4,
  TIMER_RUNNINGTIME = 5,
  TIMER_ELAPSEDTIME = 6,
};

// A stopwatch in seconds driven by commands. The clock decides the mode on
// the first command and keeps it for the timer's life.
class FrameTimer {
public:
  explicit FrameTimer(TimerClock &clock) : clock(clock) {}
  // Carries out `command`; -1 for a value outside the commands.
  double operator()(int command);

private:
  // The readings of one mode: counter ticks, or seconds of the fallback.
  template <typename T> struct Readings {
    T stop = 0;        // 0: not standing still
    T lastelapsed = 0; // the last elapsed-time reading
    T base = 0;        // where running time counts from
  };
  template <typename T>
  double command(Readings<T> &r, int command, T now, T step, double unit);

  TimerClock &clock;
  bool initialised = false;
  bool counterAvailable = false;
  std::int64_t frequency = 0;
  std::int32_t stopped = 1;
  Readings<std::int64_t> counterReadings;
  Readings<double> fallbackReadings;
};

// The process-wide frame timer on the system clocks.
double frameTimer(int command);

} // namespace korvane
