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

struct Step {
  double atSeconds;  // counter value before the operation
  void (*op)(ProbeTimer&);
  double wantElapsed;  // Get(eSeconds) afterwards
  int reads;           // counter reads the operation makes
};

// One timer's life on the scripted clock.
const Step kLife[] = {
    // No Start yet: measured from the counter's zero.
    {5.5, [](ProbeTimer& t) { t.Stop(); }, 5.5, 1},
    // Start leaves the last reading alone.
    {1.0, [](ProbeTimer& t) { t.Start(); }, 5.5, 1},
    {3.5, [](ProbeTimer& t) { t.Stop(); }, 2.5, 1},
    // Again from the same start.
    {4.0, [](ProbeTimer& t) { t.Stop(); }, 3.0, 1},
    // Clears the reading but does not restart.
    {4.0, [](ProbeTimer& t) { t.Reset(); }, 0.0, 0},
    // The start moves 0.5 s later.
    {4.0, [](ProbeTimer& t) { t.AdjustStartTime(0.5); }, 0.0, 0},
    {5.0, [](ProbeTimer& t) { t.Stop(); }, 3.5, 1},
    // A reading, returned in milliseconds.
    {5.125, [](ProbeTimer& t) { EXPECT_EQ(t.Elapsed(CZelTimer::eMilliseconds), 3625.0); }, 3.625,
     1}};

TEST_F(WallTimer, LifeOnTheScriptedClock) {
  ProbeTimer timer;
  EXPECT_EQ(zel_scripted::FrequencyReads(), 1);
  for (const Step& step : kLife) {
    SetCount(static_cast<std::int64_t>(step.atSeconds * kSecond));
    const std::int64_t before = CounterReads();
    step.op(timer);
    EXPECT_EQ(timer.Get(CZelTimer::eSeconds), step.wantElapsed) << "at " << step.atSeconds;
    EXPECT_EQ(CounterReads() - before, step.reads) << "at " << step.atSeconds;
  }
  // Copies carry the adjusted start (1.5 s) and the frequency, and read no
  // frequency of their own.
  ProbeTimer copy(timer);
  zel_scripted::SetFrequency(7);
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
  EXPECT_EQ(Fields(timer.elapsed()), std::make_pair(1, 992247298));
}

// A frequency of 1e9 + 1 is not a float: held as one, 1e9 + 1 counts would
// read as 1.000000001 s.
TEST_F(WallTimer, DividesTheCountByTheFrequency) {
  zel_scripted::SetFrequency(1000000001);
  ProbeTimer timer;
  SetCount(1000000001);
  timer.Start();
  EXPECT_EQ(Fields(timer.start()), std::make_pair(1, 0));
  SetCount(4000000000000000000);
  timer.Start();
  // Clock times past the 32-bit range saturate.
  EXPECT_EQ(Fields(timer.start()), std::make_pair(2147483647, 999999999));
}

TEST_F(WallTimer, WithoutACounterTheClockStandsStillAtZero) {
  const struct {
    std::int64_t frequency;
    bool ok;
  } platforms[] = {{0, true}, {-1000, true}, {kSecond, false}};
  for (const auto& platform : platforms) {
    zel_scripted::SetFrequency(platform.frequency, platform.ok);
    ProbeTimer timer;
    SetCount(5 * kSecond);
    timer.Start();
    EXPECT_EQ(Fields(timer.start()), std::make_pair(0, 0)) << platform.frequency;
    timer.AdjustStartTime(-1.5);
    SetCount(9 * kSecond);
    EXPECT_EQ(timer.Elapsed(CZelTimer::eSeconds), 1.5) << platform.frequency;
  }
}

}  // namespace
