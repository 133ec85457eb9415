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

enum class Op { kStart, kStop, kElapsedMs, kReset, kAdjustHalf };

struct Step {
  double atSeconds;  // counter value before the operation
  Op op;
  double wantElapsed;  // Get(eSeconds) afterwards
  int reads;           // counter reads the operation makes
};

// One timer's life on the scripted clock.
const Step kLife[] = {
    {5.5, Op::kStop, 5.5, 1},   // no Start yet: measured from the counter's zero
    {1.0, Op::kStart, 5.5, 1},  // Start leaves the last reading alone
    {3.5, Op::kStop, 2.5, 1},
    {4.0, Op::kStop, 3.0, 1},        // again from the same start
    {4.0, Op::kReset, 0.0, 0},       // clears the reading but does not restart
    {4.0, Op::kAdjustHalf, 0.0, 0},  // the start moves 0.5 s later
    {5.0, Op::kStop, 3.5, 1},
    {5.125, Op::kElapsedMs, 3.625, 1}  // a reading, returned in milliseconds
};

TEST_F(WallTimer, LifeOnTheScriptedClock) {
  ProbeTimer timer;
  EXPECT_EQ(zel_scripted::FrequencyReads(), 1);
  for (const Step& step : kLife) {
    SetCount(static_cast<std::int64_t>(step.atSeconds * kSecond));
    const std::int64_t before = CounterReads();
    switch (step.op) {
      case Op::kStart:
        timer.Start();
        break;
      case Op::kStop:
        timer.Stop();
        break;
      case Op::kReset:
        timer.Reset();
        break;
      case Op::kAdjustHalf:
        timer.AdjustStartTime(0.5);
        break;
      case Op::kElapsedMs:
        EXPECT_EQ(timer.Elapsed(CZelTimer::eMilliseconds), step.wantElapsed * 1000.0);
        break;
    }
    EXPECT_EQ(timer.Get(CZelTimer::eSeconds), step.wantElapsed) << "at " << step.atSeconds;
    EXPECT_EQ(CounterReads() - before, step.reads) << "at " << step.atSeconds;
  }
  // Copies carry the adjusted start (1.5 s) and read no frequency.
  ProbeTimer copy(timer);
  ProbeTimer assigned;
  assigned = timer;
  EXPECT_EQ(zel_scripted::FrequencyReads(), 2);
  SetCount(7 * kSecond + kSecond / 2);
  copy.Stop();
  assigned.Stop();
  EXPECT_EQ(copy.Get(CZelTimer::eSeconds), 6.0);
  EXPECT_EQ(assigned.Get(CZelTimer::eSeconds), 6.0);
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
