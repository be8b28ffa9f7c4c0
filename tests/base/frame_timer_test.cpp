#include "base/frame_timer.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

// A clock the test moves by hand; with `counter` false it has only the
// millisecond clock.
class HandClock final : public TimerClock {
public:
  explicit HandClock(bool counter) : hasCounter(counter) {}
  bool counterFrequency(std::int64_t &frequency) override {
    ++frequencyQueries;
    frequency = 1000;
    return hasCounter;
  }
  std::int64_t counter() override { return ticks; }
  std::uint32_t milliseconds() override { return ms; }

  bool hasCounter;
  std::int64_t ticks = 0;
  std::uint32_t ms = 0;
  int frequencyQueries = 0;
};

} // namespace

TEST(FrameTimer, CounterModeCommands) {
  HandClock clock(true);
  FrameTimer timer(clock);
  clock.ticks = 5000;
  EXPECT_EQ(timer(TIMER_CLOCKTIME), 5.0);
  EXPECT_EQ(timer(7), -1.0);
  EXPECT_EQ(timer(-1), -1.0);
  EXPECT_EQ(clock.frequencyQueries, 1); // asked once, on the first call

  // Starting from the initial stop makes the base time "now".
  EXPECT_EQ(timer(TIMER_START), 0.0);
  clock.ticks = 5250;
  EXPECT_EQ(timer(TIMER_RUNNINGTIME), 0.25);
  EXPECT_EQ(timer(TIMER_ELAPSEDTIME), 0.25);
  clock.ticks = 5400;
  EXPECT_EQ(timer(TIMER_ELAPSEDTIME), 0.15);

  // Stopped, readings stand still but the clock time moves on.
  timer(TIMER_STOP);
  clock.ticks = 9000;
  EXPECT_EQ(timer(TIMER_RUNNINGTIME), 0.4);
  EXPECT_EQ(timer(TIMER_ELAPSEDTIME), 0.0);
  EXPECT_EQ(timer(TIMER_CLOCKTIME), 9.0);
  timer(TIMER_STOP); // a second stop changes nothing
  EXPECT_EQ(timer(TIMER_RUNNINGTIME), 0.4);
  // Each advance moves the standing reading by a tenth of a second.
  timer(TIMER_ADVANCE);
  timer(TIMER_ADVANCE);
  EXPECT_EQ(timer(TIMER_RUNNINGTIME), 0.6);
  // Start again: the time stood still does not count, the advances do.
  timer(TIMER_START);
  clock.ticks = 9100;
  EXPECT_DOUBLE_EQ(timer(TIMER_RUNNINGTIME), 0.7);

  // Start while running leaves the base time alone.
  timer(TIMER_START);
  EXPECT_DOUBLE_EQ(timer(TIMER_RUNNINGTIME), 0.7);
  EXPECT_EQ(timer(TIMER_ELAPSEDTIME), 0.0);

  // Advance while running makes the timer stand still at the step.
  timer(TIMER_RESET);
  clock.ticks = 9300;
  timer(TIMER_ADVANCE);
  clock.ticks = 20000;
  EXPECT_DOUBLE_EQ(timer(TIMER_RUNNINGTIME), -9.0);
  // A reset while standing still starts from the standing reading.
  timer(TIMER_RESET);
  clock.ticks = 20050;
  EXPECT_DOUBLE_EQ(timer(TIMER_ELAPSEDTIME), 19.95);
  EXPECT_DOUBLE_EQ(timer(TIMER_ELAPSEDTIME), 0.0);
}

TEST(FrameTimer, MillisecondFallback) {
  HandClock clock(false);
  FrameTimer timer(clock);
  clock.ms = 2000;
  EXPECT_EQ(timer(TIMER_CLOCKTIME), 2.0);
  timer(TIMER_RESET);
  clock.ms = 2500;
  EXPECT_DOUBLE_EQ(timer(TIMER_RUNNINGTIME), 0.5);
  EXPECT_DOUBLE_EQ(timer(TIMER_ELAPSEDTIME), 0.5);
  timer(TIMER_STOP);
  clock.ms = 4000;
  timer(TIMER_ADVANCE);
  // The step is 0.1 in single precision, widened.
  EXPECT_EQ(timer(TIMER_RUNNINGTIME), (2.5 + 0.10000000149011612) - 2.0);
  EXPECT_EQ(timer(TIMER_CLOCKTIME), 4.0);
  timer(TIMER_START);
  clock.ms = 4100;
  EXPECT_NEAR(timer(TIMER_RUNNINGTIME), 0.7, 1e-7);
  // The mode holds even if a counter turns up later.
  clock.hasCounter = true;
  clock.ticks = 123456;
  EXPECT_NEAR(timer(TIMER_CLOCKTIME), 4.1, 1e-12);
}

TEST(FrameTimer, SystemClockMovesForward) {
  const double first = frameTimer(TIMER_CLOCKTIME);
  const double second = frameTimer(TIMER_CLOCKTIME);
  EXPECT_GE(second, first);
  EXPECT_EQ(frameTimer(99), -1.0);
}
