// The player's clock: paused, every reading stands; resumed, each goes on
// from where it stood, across the 32-bit wrap too.

#include "base/clocks.h"
#include "base/pausable_clock.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(PausableClock, StandsWhilePausedAndGoesOnFromThere) {
  VirtualClock real;
  real.set(1000);
  PausableClock clock(real, real);
  EXPECT_EQ(clock.tickCount(), 1000u);
  real.set(1500);
  clock.pause();
  clock.pause(); // a second pause changes nothing
  real.set(9000);
  EXPECT_TRUE(clock.paused());
  EXPECT_EQ(clock.tickCount(), 1500u);
  EXPECT_EQ(clock.milliseconds(), 1500u);
  EXPECT_EQ(clock.counter(), 1500);
  EXPECT_EQ(clock.realTickCount(), 9000u);
  clock.resume();
  clock.resume();
  EXPECT_EQ(clock.tickCount(), 1500u);
  real.set(9250);
  EXPECT_EQ(clock.tickCount(), 1750u);
  EXPECT_EQ(clock.counter(), 1750);
  // A second pause adds to the first.
  clock.pause();
  real.set(10000);
  clock.resume();
  real.set(10100);
  EXPECT_EQ(clock.tickCount(), 1850u);
  EXPECT_EQ(clock.milliseconds(), 1850u);
}

TEST(PausableClock, TheTickCountsWrapAsTheSystemsDo) {
  VirtualClock real;
  real.set(0xFFFFFF00u);
  PausableClock clock(real, real);
  clock.pause();
  real.set(0x100u); // 512 ms later, past the wrap
  clock.resume();
  EXPECT_EQ(clock.tickCount(), 0xFFFFFF00u);
  real.set(0x200u);
  EXPECT_EQ(clock.tickCount(), 0u);
}

// A frame timer on the clock stands still too: the overlay's frame rate
// does not move while the show is paused.
TEST(PausableClock, TheFrameTimerOnItStandsStill) {
  VirtualClock real;
  PausableClock clock(real, real);
  FrameTimer timer(clock);
  real.set(2000);
  const double before = timer(TIMER_CLOCKTIME);
  clock.pause();
  real.set(7000);
  EXPECT_DOUBLE_EQ(timer(TIMER_CLOCKTIME), before);
  clock.resume();
  real.set(8000);
  EXPECT_NEAR(timer(TIMER_CLOCKTIME) - before, 1.0, 1e-9);
}
