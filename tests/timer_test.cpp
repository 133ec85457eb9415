// The clock-independent part of every timer: units, AdjustStartTime, copies.
#include <ostream>

#include "ZelWallTimer.h"
#include "test_support.h"

namespace {

struct UnitCase {
  double seconds;
  int precision;
  double want;
};
void PrintTo(const UnitCase& c, std::ostream* os) { *os << c.seconds << " s in " << c.precision; }

class TimerGet : public ScriptedClockTest, public ::testing::WithParamInterface<UnitCase> {};

TEST_P(TimerGet, MultipliesByTheUnitConstant) {
  const auto precision = static_cast<CZelTimer::EPrecisionType>(GetParam().precision);
  ProbeTimer timer;
  EXPECT_EQ(timer.Get(precision), 0.0);
  timer.Set(GetParam().seconds);
  EXPECT_EQ(timer.Get(precision), GetParam().want);
}

// Anything but 1, 3 and 4 reads as seconds. 23/60 and 3/3600 round
// differently from the products, so the last two rows fail a division.
INSTANTIATE_TEST_SUITE_P(Units, TimerGet,
                         ::testing::Values(UnitCase{90, 1, 90000.0}, UnitCase{90, 2, 90.0},
                                           UnitCase{90, 3, 1.5}, UnitCase{90, 4, 0.025},
                                           UnitCase{90, 5, 90.0}, UnitCase{90, 0, 90.0},
                                           UnitCase{23, 3, 23.0 * 0.016666666666666666},
                                           UnitCase{3, 4, 3.0 * 0.0002777777777777778}));

TEST(Timer, AdjustStartTimeAddsWithOneCarryAndSaturates) {
  ProbeTimer timer;
  timer.AdjustStartTime(1.5);
  timer.AdjustStartTime(1.5);
  EXPECT_EQ(Fields(timer.start()), std::make_pair(3, 0));
  timer.AdjustStartTime(-0.25);
  EXPECT_EQ(Fields(timer.start()), std::make_pair(3, -250000000));
  timer.AdjustStartTime(2147483000.0);
  timer.AdjustStartTime(2147483000.0);
  EXPECT_EQ(Fields(timer.start()), std::make_pair(2147483647, 999999999));
}

TEST(Timer, CopiesCarryBothTimeValuesAsTheyAre) {
  ProbeTimer timer;
  timer.start() = MakeValue(4, 1500000000);
  timer.elapsed() = MakeValue(2, -5);
  ProbeTimer copy(timer);
  ProbeTimer assigned;
  assigned = timer;
  for (ProbeTimer* t : {&copy, &assigned}) {
    EXPECT_EQ(Fields(t->start()), std::make_pair(4, 1500000000));
    EXPECT_EQ(Fields(t->elapsed()), std::make_pair(2, -5));
  }
}

}  // namespace
