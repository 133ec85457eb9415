// The performance-counter timer against the scripted counter.
#include <cstdint>
#include <ostream>

#include "ZelWallTimer.h"
#include "test_support.h"

namespace {

using WallTimer = ScriptedClockTest;
using zel_scripted::CounterReads;
using zel_scripted::SetCount;

constexpr std::int64_t kSecond = 1000000000;

TEST_F(WallTimer, ReadsFrequencyOnceAndCounterOncePerCall) {
  ProbeTimer timer;
  EXPECT_EQ(zel_scripted::FrequencyReads(), 1);
  EXPECT_EQ(CounterReads(), 0);
  timer.Start();
  EXPECT_EQ(CounterReads(), 1);
  timer.Stop();
  EXPECT_EQ(CounterReads(), 2);
  timer.Elapsed(CZelTimer::eSeconds);
  EXPECT_EQ(CounterReads(), 3);
  timer.Get(CZelTimer::eSeconds);
  timer.Reset();
  timer.AdjustStartTime(1.0);
  ProbeTimer copy(timer);
  // cppcheck-suppress unreadVariable ; only the reads the assignment makes matter
  copy = timer;
  EXPECT_EQ(CounterReads(), 3);
  EXPECT_EQ(zel_scripted::FrequencyReads(), 1);
}

TEST_F(WallTimer, StopWithoutStartMeasuresFromCounterZero) {
  ProbeTimer timer;
  SetCount(5 * kSecond + 250);
  timer.Stop();
  EXPECT_EQ(Fields(timer.elapsed()), std::make_pair(5, 250));
}

TEST_F(WallTimer, StopsMeasureFromTheOneStart) {
  ProbeTimer timer;
  SetCount(1 * kSecond);
  timer.Start();
  SetCount(3 * kSecond + kSecond / 2);
  timer.Stop();
  EXPECT_EQ(timer.Get(CZelTimer::eSeconds), 2.5);
  SetCount(4 * kSecond);
  timer.Stop();
  EXPECT_EQ(timer.Get(CZelTimer::eSeconds), 3.0);
  // Start only moves the start; the elapsed time waits for the next Stop.
  SetCount(10 * kSecond);
  timer.Start();
  EXPECT_EQ(timer.Get(CZelTimer::eSeconds), 3.0);
  SetCount(10 * kSecond + kSecond / 4);
  timer.Stop();
  EXPECT_EQ(timer.Get(CZelTimer::eSeconds), 0.25);
}

TEST_F(WallTimer, ResetAndAdjustDoNotRestart) {
  ProbeTimer timer;
  SetCount(2 * kSecond);
  timer.Start();
  timer.Reset();
  EXPECT_EQ(timer.Get(CZelTimer::eSeconds), 0.0);
  timer.AdjustStartTime(0.5);
  SetCount(5 * kSecond);
  timer.Stop();
  EXPECT_EQ(timer.Get(CZelTimer::eSeconds), 2.5);
}

TEST_F(WallTimer, ElapsedRecordsAReadingAndConvertsIt) {
  ProbeTimer timer;
  timer.Start();
  SetCount(kSecond / 8);
  EXPECT_EQ(timer.Elapsed(CZelTimer::eMilliseconds), 125.0);
  EXPECT_EQ(timer.Get(CZelTimer::eSeconds), 0.125);
  SetCount(90 * kSecond);
  EXPECT_EQ(timer.Elapsed(CZelTimer::eMinutes), 1.5);
  EXPECT_EQ(timer.Elapsed(static_cast<CZelTimer::EPrecisionType>(9)), 90.0);
}

TEST_F(WallTimer, CopiesContinueFromTheCopiedStart) {
  ProbeTimer timer;
  SetCount(3 * kSecond);
  timer.Start();
  ProbeTimer copy(timer);
  ProbeTimer assigned;
  assigned = timer;
  SetCount(7 * kSecond);
  copy.Stop();
  assigned.Stop();
  EXPECT_EQ(copy.Get(CZelTimer::eSeconds), 4.0);
  EXPECT_EQ(assigned.Get(CZelTimer::eSeconds), 4.0);
}

// now - start.Get() must see start.Get() rounded as a product and then a
// sum; a fused multiply-add there moves the result by a nanosecond.
TEST_F(WallTimer, StopRoundsTheStartTimeLikeGet) {
  ProbeTimer timer;
  timer.start() = MakeValue(1, 7752702);
  SetCount(3 * kSecond);
  timer.Stop();
  volatile double expected = 3.0 - RoundedGet(1, 7752702);
  EXPECT_EQ(Fields(timer.elapsed()), Fields(CZelTimeValue(expected)));
  EXPECT_EQ(Fields(timer.elapsed()), std::make_pair(1, 992247298));
}

TEST_F(WallTimer, DividesTheCountByTheFrequency) {
  zel_scripted::SetFrequency(3);
  ProbeTimer timer;
  SetCount(1);
  timer.Start();
  EXPECT_EQ(Fields(timer.start()), std::make_pair(0, 333333333));
  SetCount(3000000000LL * 3);
  timer.Start();
  // Clock times past the 32-bit range saturate.
  EXPECT_EQ(Fields(timer.start()), std::make_pair(2147483647, 999999999));
}

struct NoCounterCase {
  std::int64_t frequency;
  bool ok;
};

class WallTimerWithoutCounter : public ScriptedClockTest,
                                public ::testing::WithParamInterface<NoCounterCase> {};

// GoogleTest would otherwise print the case's raw bytes, padding included,
// which memory checkers rightly report as uninitialised reads.
void PrintTo(const NoCounterCase& c, std::ostream* os) {
  *os << "frequency " << c.frequency << (c.ok ? "" : ", failing");
}

TEST_P(WallTimerWithoutCounter, ClockStandsStillAtZero) {
  zel_scripted::SetFrequency(GetParam().frequency, GetParam().ok);
  ProbeTimer timer;
  SetCount(5 * kSecond);
  timer.Start();
  EXPECT_EQ(Fields(timer.start()), std::make_pair(0, 0));
  timer.AdjustStartTime(-1.5);
  SetCount(9 * kSecond);
  EXPECT_EQ(timer.Elapsed(CZelTimer::eSeconds), 1.5);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, WallTimerWithoutCounter,
                         ::testing::Values(NoCounterCase{0, true}, NoCounterCase{-1000, true},
                                           NoCounterCase{1000000000, false}));

}  // namespace
