// The frame-rate meter against the scripted counter.
#include <climits>
#include <cstdint>
#include <ostream>
#include <vector>

#include "ZelFrameRate.h"
#include "test_support.h"

namespace {

using zel_scripted::Advance;
using zel_scripted::CounterReads;
using zel_scripted::SetCount;

using FrameRate = ScriptedClockTest;
using Samples = std::vector<float>;

// With 8 counts per second every interval is an exact number of eighths,
// which floats hold exactly.
constexpr std::int64_t kEighths = 8;

void DrawFrame(CZelFrameRate& meter, std::int64_t counts) {
  meter.FrameDrawStartNotice();
  Advance(counts);
  meter.FrameDrawEndNotice();
}

// After every frame, the public results are those of histories trimmed one
// sample at a time, whatever the meter keeps behind them. A frame reads the
// counter four times (the swap twice: to stop, then to restart), the
// getters never, and only the constructor reads the frequency.
TEST_F(FrameRate, HistoriesHoldTheLatestSamplesAfterEveryFrame) {
  zel_scripted::SetFrequency(kEighths);
  for (int length : {0, 1, 3}) {
    CZelFrameRate meter(length);
    Samples draws, swaps;
    meter.SwapCallNotice();
    for (int frame = 1; frame <= 30; ++frame) {
      const std::int64_t reads = CounterReads();
      DrawFrame(meter, frame);
      Advance(1);
      meter.SwapCallNotice();
      ASSERT_EQ(CounterReads() - reads, 4);
      draws.push_back(125.0f * static_cast<float>(frame));
      swaps.push_back(static_cast<float>(frame + 1) / 8.0f);
      if (draws.size() > 4 * static_cast<std::size_t>(length)) draws.erase(draws.begin());
      if (swaps.size() > static_cast<std::size_t>(length)) swaps.erase(swaps.begin());
      double sum = 0.0;
      for (float s : swaps) sum += s;
      const float rate = swaps.empty()
                             ? -1.0f
                             : static_cast<float>(1.0 / (sum / static_cast<double>(swaps.size())));
      ASSERT_EQ(meter.GetDrawHistory(), draws) << "length " << length << ", frame " << frame;
      ASSERT_EQ(meter.GetSwapHistory(), swaps) << "length " << length << ", frame " << frame;
      ASSERT_EQ(meter.GetBufferCount(), static_cast<int>(draws.size()));
      ASSERT_EQ(meter.GetFrameRate(), rate) << "length " << length << ", frame " << frame;
      ASSERT_EQ(CounterReads() - reads, 4);
    }
  }
  EXPECT_EQ(zel_scripted::FrequencyReads(), 3 * 2);
}

TEST_F(FrameRate, SixtyHertzReadsSlightlyAbove60) {
  CZelFrameRate meter(60);
  for (int swap = 0; swap < 61; ++swap) {
    meter.SwapCallNotice();
    Advance(16666667);  // 1/60 s to the nearest nanosecond
  }
  // Clock times and intervals are both cut to whole nanoseconds, so the
  // intervals come out as 16666666 or 16666667 ns and the rate just over 60
  // (the value the arithmetic gives, worked out independently in double).
  EXPECT_EQ(meter.GetFrameRate(), 60.000003814697266f);
}

// Seven swaps 7 ns apart, then one 12729795 s later: the short intervals
// count when added in order and are lost when added to the long one, so
// adding newest first or in several chains changes the rate's last bit
// (the value worked out independently in double).
TEST_F(FrameRate, RateAddsTheIntervalsOldestFirst) {
  CZelFrameRate meter(8);
  for (int swap = 0; swap < 8; ++swap) {
    meter.SwapCallNotice();
    Advance(swap < 7 ? 7 : 12729795LL * 1000000000);
  }
  meter.SwapCallNotice();
  EXPECT_EQ(meter.GetFrameRate(), 0x1.516514p-21f);
}

TEST_F(FrameRate, AllZeroIntervalsHaveNoRate) {
  CZelFrameRate meter(5);
  for (int swap = 0; swap < 4; ++swap) meter.SwapCallNotice();
  EXPECT_EQ(meter.GetSwapHistory(), (Samples{0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(meter.GetFrameRate(), -1.0f);
}

TEST_F(FrameRate, DrawsAreMillisecondsMeasuredFromTheLatestStart) {
  CZelFrameRate meter(10);
  SetCount(40000000);
  meter.FrameDrawEndNotice();  // no start yet: since the counter's zero
  SetCount(0);
  meter.FrameDrawStartNotice();
  Advance(2500001);  // narrowing the seconds to float first would give 2.50000119
  meter.FrameDrawEndNotice();
  Advance(1000000);
  meter.FrameDrawEndNotice();
  EXPECT_EQ(meter.GetDrawHistory(), (Samples{40.0f, 2.50000095f, 3.50000095f}));
}

// Copies and assignments are taken after the histories have trimmed, so
// dropped samples still lie in front of the public ones.
TEST_F(FrameRate, CopiesContinueAndAssigningANewMeterStartsOver) {
  zel_scripted::SetFrequency(kEighths);
  CZelFrameRate meter(1);
  meter.SwapCallNotice();
  for (int frame = 1; frame <= 6; ++frame) {
    DrawFrame(meter, frame);
    Advance(1);
    meter.SwapCallNotice();
  }
  meter.FrameDrawStartNotice();
  Advance(1);
  CZelFrameRate copy(meter);
  CZelFrameRate assigned(10);
  assigned = meter;
  const CZelFrameRate& same = meter;
  meter = same;
  Advance(1);
  for (CZelFrameRate* m : {&meter, &copy, &assigned}) {
    m->FrameDrawEndNotice();
    m->SwapCallNotice();
    EXPECT_EQ(m->GetDrawHistory(), (Samples{500.0f, 625.0f, 750.0f, 250.0f}));
    EXPECT_EQ(m->GetSwapHistory(), Samples{0.25f});
  }
  assigned = CZelFrameRate(10);
  EXPECT_TRUE(assigned.GetDrawHistory().empty());
  EXPECT_TRUE(assigned.GetSwapHistory().empty());
  assigned.SwapCallNotice();  // waiting for a first swap again
  EXPECT_TRUE(assigned.GetSwapHistory().empty());
}

struct LengthCase {
  int length;
  std::size_t drawsKept;  // after 5 draws
  std::size_t swapsKept;  // after 5 swap notices, 4 intervals
};
void PrintTo(const LengthCase& c, std::ostream* os) { *os << "length " << c.length; }

class FrameRateLength : public ScriptedClockTest,
                        public ::testing::WithParamInterface<LengthCase> {};

TEST_P(FrameRateLength, LimitsAreThe32BitLengthReadUnsigned) {
  CZelFrameRate meter(GetParam().length);
  for (int frame = 0; frame < 5; ++frame) {
    DrawFrame(meter, 1);
    meter.SwapCallNotice();
    Advance(1);
  }
  EXPECT_EQ(meter.GetDrawHistory().size(), GetParam().drawsKept);
  EXPECT_EQ(meter.GetBufferCount(), static_cast<int>(GetParam().drawsKept));
  EXPECT_EQ(meter.GetSwapHistory().size(), GetParam().swapsKept);
}

// 4 x length wraps modulo 2^32: INT_MIN keeps no draw sample, 2^30 + 1 four.
INSTANTIATE_TEST_SUITE_P(Lengths, FrameRateLength,
                         ::testing::Values(LengthCase{-1, 5, 4}, LengthCase{INT_MIN, 0, 4},
                                           LengthCase{(1 << 30) + 1, 4, 4},
                                           LengthCase{INT_MAX, 5, 4}));

}  // namespace
