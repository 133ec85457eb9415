// The clock-independent part of every timer: units, Set, Reset,
// AdjustStartTime and copies.
#include <limits>
#include <ostream>

#include "ZelWallTimer.h"
#include "test_support.h"

namespace {

using P = CZelTimer::EPrecisionType;

struct UnitCase {
  int precision;
  double want;
};

class TimerGet : public ScriptedClockTest, public ::testing::WithParamInterface<UnitCase> {};

// GoogleTest would otherwise print the case's raw bytes, padding included,
// which memory checkers rightly report as uninitialised reads.
void PrintTo(const UnitCase& c, std::ostream* os) { *os << "precision " << c.precision; }

TEST_P(TimerGet, ConvertsNinetySecondsByMultiplication) {
  ProbeTimer timer;
  EXPECT_EQ(timer.Get(static_cast<P>(GetParam().precision)), 0.0);
  timer.Set(90.0);
  EXPECT_EQ(timer.Get(static_cast<P>(GetParam().precision)), GetParam().want);
}

// Minutes and hours are products with the nearest doubles to 1/60 and 1/3600,
// and anything but 1, 3 and 4 reads as seconds.
INSTANTIATE_TEST_SUITE_P(Units, TimerGet,
                         ::testing::Values(UnitCase{1, 90000.0}, UnitCase{2, 90.0},
                                           UnitCase{3, 1.5}, UnitCase{4, 0.025}, UnitCase{5, 90.0},
                                           UnitCase{0, 90.0}, UnitCase{7, 90.0}, UnitCase{-1, 90.0},
                                           UnitCase{std::numeric_limits<int>::max(), 90.0}));

using Timer = ScriptedClockTest;

TEST_F(Timer, MinutesAndHoursMultiplyRatherThanDivide) {
  ProbeTimer timer;
  timer.Set(23.0);
  // 23/60 and 3/3600 round differently from these products.
  EXPECT_EQ(timer.Get(CZelTimer::eMinutes), 23.0 * 0.016666666666666666);
  EXPECT_NE(timer.Get(CZelTimer::eMinutes), 23.0 / 60.0);
  timer.Set(3.0);
  EXPECT_EQ(timer.Get(CZelTimer::eHours), 3.0 * 0.0002777777777777778);
  EXPECT_NE(timer.Get(CZelTimer::eHours), 3.0 / 3600.0);
}

TEST_F(Timer, ResetClearsElapsedButKeepsStart) {
  ProbeTimer timer;
  timer.start().Set(1.25);
  timer.Set(5.0);
  timer.Reset();
  EXPECT_EQ(timer.Get(CZelTimer::eSeconds), 0.0);
  EXPECT_EQ(Fields(timer.start()), std::make_pair(1, 250000000));
}

TEST_F(Timer, AdjustStartTimeAddsWithOneCarry) {
  ProbeTimer timer;
  timer.AdjustStartTime(1.5);
  timer.AdjustStartTime(1.5);
  EXPECT_EQ(Fields(timer.start()), std::make_pair(3, 0));
  timer.AdjustStartTime(-0.25);
  EXPECT_EQ(Fields(timer.start()), std::make_pair(3, -250000000));
  // Shifting past the range saturates instead of wrapping.
  timer.AdjustStartTime(2147483000.0);
  timer.AdjustStartTime(2147483000.0);
  EXPECT_EQ(Fields(timer.start()), std::make_pair(2147483647, 999999999));
}

TEST_F(Timer, CopiesCarryStartAndElapsed) {
  ProbeTimer source;
  source.start().Set(2.5);
  source.Set(0.75);
  ProbeTimer copy(source);
  EXPECT_EQ(Fields(copy.start()), std::make_pair(2, 500000000));
  EXPECT_EQ(copy.Get(CZelTimer::eSeconds), 0.75);

  ProbeTimer assigned;
  static_cast<CZelTimer&>(assigned) = static_cast<CZelTimer&>(source);
  EXPECT_EQ(Fields(assigned.start()), std::make_pair(2, 500000000));
  EXPECT_EQ(assigned.Get(CZelTimer::eSeconds), 0.75);
}

}  // namespace
