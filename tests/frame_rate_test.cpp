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

TEST_F(FrameRate, NothingToReportUntilTheSecondSwap) {
  zel_scripted::SetFrequency(kEighths);
  CZelFrameRate meter(10);
  EXPECT_EQ(zel_scripted::FrequencyReads(), 2);
  for (int swap = 0; swap < 2; ++swap) {
    EXPECT_EQ(meter.GetFrameRate(), -1.0f);
    EXPECT_TRUE(meter.GetDrawHistory().empty());
    EXPECT_TRUE(meter.GetSwapHistory().empty());
    EXPECT_EQ(meter.GetBufferCount(), 0);
    if (swap == 0) meter.SwapCallNotice();
  }
  Advance(2);
  meter.SwapCallNotice();
  EXPECT_EQ(meter.GetSwapHistory(), Samples{0.25f});
  EXPECT_EQ(meter.GetFrameRate(), 4.0f);
}

// Start and end notices read the counter once, swaps twice (the first once),
// and nothing else reads it.
TEST_F(FrameRate, CounterReadsPerNotice) {
  CZelFrameRate meter(4);
  std::int64_t seen = 0;
  const auto readsSince = [&seen] {
    const std::int64_t delta = CounterReads() - seen;
    seen = CounterReads();
    return delta;
  };
  for (int frame = 0; frame < 30; ++frame) {
    meter.FrameDrawStartNotice();
    EXPECT_EQ(readsSince(), 1);
    meter.FrameDrawEndNotice();
    EXPECT_EQ(readsSince(), 1);
    meter.SwapCallNotice();
    EXPECT_EQ(readsSince(), frame == 0 ? 1 : 2);
    meter.GetFrameRate();
    meter.GetDrawHistory();
    meter.GetSwapHistory();
    meter.GetBufferCount();
    EXPECT_EQ(readsSince(), 0);
  }
}

TEST_F(FrameRate, SixtyHertzReadsSlightlyAbove60) {
  CZelFrameRate meter(60);
  for (int swap = 0; swap < 61; ++swap) {
    meter.SwapCallNotice();
    Advance(16666667);  // 1/60 s to the nearest nanosecond
  }
  // Clock times and intervals are both cut to whole nanoseconds, so the
  // intervals come out as 16666666 or 16666667 ns and the rate just over 60
  // (the value the algorithm gives, worked out independently in double).
  const Samples history = meter.GetSwapHistory();
  ASSERT_EQ(history.size(), 60u);
  for (float sample : history)
    ASSERT_TRUE(sample == 0.016666666f || sample == 0.016666667f) << sample;
  EXPECT_EQ(meter.GetFrameRate(), 60.000003814697266f);
}

TEST_F(FrameRate, TheRestartGapBelongsToNoSample) {
  CZelFrameRate meter(10);
  zel_scripted::SetStepPerRead(5);  // 5 ns pass between any two reads
  meter.SwapCallNotice();           // restart reads 0
  Advance(100);
  meter.SwapCallNotice();  // stop reads 105, restart reads 110
  Advance(100);
  meter.SwapCallNotice();  // stop reads 215
  EXPECT_EQ(meter.GetSwapHistory(), (Samples{105e-9f, 105e-9f}));
}

TEST_F(FrameRate, FrameRateSumsInDoublePrecisionInOrder) {
  CZelFrameRate meter(10);
  meter.SwapCallNotice();
  Advance(1000000000);
  meter.SwapCallNotice();
  Advance(59);
  meter.SwapCallNotice();
  const Samples h = meter.GetSwapHistory();
  ASSERT_EQ(h.size(), 2u);
  // A float sum would lose the 59 ns sample against the 1 s one and read 2.0.
  EXPECT_EQ(h[0] + h[1], 1.0f);
  EXPECT_LT(meter.GetFrameRate(), 2.0f);
  EXPECT_EQ(meter.GetFrameRate(), static_cast<float>(1.0 / ((0.0 + h[0] + h[1]) / 2.0)));
}

TEST_F(FrameRate, HistoriesKeepTheMostRecentSamples) {
  zel_scripted::SetFrequency(kEighths);
  CZelFrameRate meter(3);
  for (int k = 1; k <= 20; ++k) DrawFrame(meter, k);
  for (int k = 0; k < 10; ++k) {
    meter.SwapCallNotice();
    Advance(k + 1);
  }
  Samples draws;
  for (int k = 9; k <= 20; ++k) draws.push_back(125.0f * static_cast<float>(k));
  EXPECT_EQ(meter.GetDrawHistory(), draws);
  EXPECT_EQ(meter.GetBufferCount(), 12);
  EXPECT_EQ(meter.GetSwapHistory(), (Samples{0.875f, 1.0f, 1.125f}));
  EXPECT_EQ(meter.GetFrameRate(), 1.0f);
}

TEST_F(FrameRate, AllZeroIntervalsHaveNoRate) {
  CZelFrameRate meter(5);
  for (int swap = 0; swap < 4; ++swap) meter.SwapCallNotice();
  EXPECT_EQ(meter.GetSwapHistory(), (Samples{0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(meter.GetFrameRate(), -1.0f);
}

TEST_F(FrameRate, EndNoticesMeasureFromTheLatestStart) {
  zel_scripted::SetFrequency(kEighths);
  CZelFrameRate meter(10);
  SetCount(40);
  meter.FrameDrawEndNotice();  // no start yet: since the counter's zero
  meter.FrameDrawStartNotice();
  Advance(1);
  meter.FrameDrawEndNotice();
  Advance(1);
  meter.FrameDrawEndNotice();
  EXPECT_EQ(meter.GetDrawHistory(), (Samples{5000.0f, 125.0f, 250.0f}));
}

TEST_F(FrameRate, CopiesContinueAndAssigningANewMeterStartsOver) {
  zel_scripted::SetFrequency(kEighths);
  CZelFrameRate meter(10);
  meter.SwapCallNotice();
  Advance(2);
  meter.SwapCallNotice();
  meter.FrameDrawStartNotice();
  Advance(1);
  CZelFrameRate copy(meter);
  CZelFrameRate assigned(1);
  assigned = meter;
  Advance(1);
  for (CZelFrameRate* m : {&meter, &copy, &assigned}) {
    m->FrameDrawEndNotice();
    m->SwapCallNotice();
    EXPECT_EQ(m->GetDrawHistory(), Samples{250.0f});
    EXPECT_EQ(m->GetSwapHistory(), (Samples{0.25f, 0.25f}));
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

class FrameRateLength : public ScriptedClockTest,
                        public ::testing::WithParamInterface<LengthCase> {};

// GoogleTest would otherwise print the case's raw bytes, padding included,
// which memory checkers rightly report as uninitialised reads.
void PrintTo(const LengthCase& c, std::ostream* os) { *os << "length " << c.length; }

TEST_P(FrameRateLength, LimitsAreThe32BitLengthReadUnsigned) {
  zel_scripted::SetFrequency(kEighths);
  CZelFrameRate meter(GetParam().length);
  for (int frame = 0; frame < 5; ++frame) {
    DrawFrame(meter, 1);
    meter.SwapCallNotice();
    Advance(1);
  }
  EXPECT_EQ(meter.GetDrawHistory().size(), GetParam().drawsKept);
  EXPECT_EQ(meter.GetBufferCount(), static_cast<int>(GetParam().drawsKept));
  EXPECT_EQ(meter.GetSwapHistory().size(), GetParam().swapsKept);
  EXPECT_EQ(meter.GetFrameRate(), GetParam().swapsKept == 0 ? -1.0f : 4.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, FrameRateLength,
    ::testing::Values(LengthCase{0, 0, 0}, LengthCase{1, 4, 1}, LengthCase{-1, 5, 4},
                      // 4 x length wraps to 0 modulo 2^32: no draw sample is kept.
                      LengthCase{INT_MIN, 0, 4}, LengthCase{-(1 << 30), 0, 4},
                      LengthCase{1 << 30, 0, 4}, LengthCase{(1 << 30) + 1, 4, 4},
                      LengthCase{INT_MAX, 5, 4}));

}  // namespace
