// The shared library over the real counter: loose bounds only.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "ZelTimers.h"

namespace {

TEST(RealClock, MeasuresASleepWithinGenerousBounds) {
  CZelWallTimer timer;
  timer.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const double ms = timer.Elapsed(CZelTimer::eMilliseconds);
  EXPECT_GE(ms, 19.0);
  EXPECT_LT(ms, 5000.0);
}

TEST(RealClock, SuccessiveReadingsNeverGoBackwards) {
  CZelWallTimer timer;
  timer.Start();
  double previous = 0.0;
  for (int i = 0; i < 1000; ++i) {
    const double now = timer.Elapsed(CZelTimer::eSeconds);
    ASSERT_GE(now, previous);
    previous = now;
  }
}

TEST(RealClock, ReportElapsedFromAnUnstoppedTimer) {
  CZelWallTimer timer;
  timer.Start();
  const std::string first = timer.ReportElapsed(CZelTimer::eAutomatic);
  const double firstSeconds = timer.Get(CZelTimer::eSeconds);
  const std::string second = timer.ReportElapsed(CZelTimer::eAutomatic);
  EXPECT_GE(timer.Get(CZelTimer::eSeconds), firstSeconds);
  EXPECT_NE(first.find(" milliseconds"), std::string::npos) << first;
  EXPECT_NE(second.find(" milliseconds"), std::string::npos) << second;
}

}  // namespace
