// The shared library over the real counter: one loose check.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ZelTimers.h"

TEST(RealClock, MeasuresASleepWithinGenerousBounds) {
  CZelWallTimer timer;
  timer.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const double ms = timer.Elapsed(CZelTimer::eMilliseconds);
  EXPECT_GE(ms, 19.0);
  EXPECT_LT(ms, 5000.0);
}
