// Frame statistics against cases worked out by hand. Expected figures are
// quotients of exact integers, so the library's must equal them to the bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ZelAnalysis/FrameStats.h"
#include "analysis/stats.h"

namespace {

using namespace zel_analysis;
using Ns = std::vector<std::int64_t>;

// Runs of equal frames: {count, nanoseconds}.
Ns Runs(std::initializer_list<std::pair<int, std::int64_t>> runs) {
  Ns ns;
  for (const auto& [count, each] : runs) ns.insert(ns.end(), count, each);
  return ns;
}

// 1 to 1000 ms, each once, in a scrambled order.
Ns Scrambled() {
  Ns ns;
  for (std::int64_t i = 0; i < 1000; ++i) ns.push_back((i * 357 % 1000 + 1) * 1000000);
  return ns;
}

double Get(const FrameStats& stats, const std::string& key) {
  for (const NamedFigure& figure : Figures(stats))
    if (key == figure.key) return figure.value;
  ADD_FAILURE() << "no figure " << key;
  return std::nan("");
}

TEST(FrameStats, WorkedCases) {
  const struct {
    const char* what;
    Ns frames;
    std::vector<std::pair<const char*, double>> expected;
  } cases[] = {
      {"999 x 8 ms and one of 200 ms",
       Runs({{999, 8'000'000}, {1, 200'000'000}}),
       {{"average_fps", 122.0703125},
        {"low_1_percentile_fps", 125.0},
        {"low_1_low_average_fps", 10000.0 / 272},
        {"low_1_integral_fps", 5.0},
        {"low_0_1_low_average_fps", 5.0},
        {"stutters", 1},
        {"stutter_time_percent", 100.0 * 200 / 8192}}},
      // ceil(0.5 * 7) - 1 = 3; jitter 3, 6, 5, 4, 3, 2 in this order.
      {"1 to 7 ms",
       Ns{4'000'000, 7'000'000, 1'000'000, 6'000'000, 2'000'000, 5'000'000, 3'000'000},
       {{"p50_ms", 4.0}, {"p90_ms", 7.0}, {"jitter_mean_ms", 23.0 / 6}, {"jitter_p99_ms", 6.0}}},
      // 10 s in all: the 100 ms frame alone is 1 %. The slowest ceil(2.5) = 3
      // frames make the low average.
      {"integral reached exactly",
       Runs({{248, 39'600'000}, {1, 79'200'000}, {1, 100'000'000}}),
       {{"p99_ms", 39.6},
        {"low_1_integral_fps", 10.0},
        {"low_1_low_average_fps", 3e9 / 218800000}}},
      // 1 % of the total is 10'000'000.5 ns: the 10 ms frame falls short.
      {"integral short by half a nanosecond",
       Runs({{1, 10'000'000}, {1, 9'900'050}, {99, 9'900'000}}),
       {{"low_1_integral_fps", 1e9 / 9'900'050}}},
      // The last frame against the 30 before it: mean 11 ms, so the
      // threshold is 27.5 ms (29 before it: 25 ms; 31: 34.7 ms).
      {"stutter at the threshold",
       Runs({{1, 100'000'000}, {1, 40'000'000}, {29, 10'000'000}, {1, 27'500'000}}),
       {{"stutters", 0}}},
      {"stutter above the threshold",
       Runs({{1, 100'000'000}, {1, 40'000'000}, {29, 10'000'000}, {1, 30'000'000}}),
       {{"stutters", 1}}},
      {"1 to 1000 ms scrambled",
       Scrambled(),
       {{"p50_ms", 500.0},
        {"p90_ms", 900.0},
        {"p95_ms", 950.0},
        {"p99_ms", 990.0},
        {"p99_9_ms", 999.0},
        {"low_0_1_percentile_fps", 1000.0 / 999},
        {"low_1_low_average_fps", 10000.0 / 9955},
        {"low_1_integral_fps", 1000.0 / 995},
        {"low_0_1_integral_fps", 1.0}}},
  };
  for (const auto& c : cases) {
    const FrameStats stats = Summarize(c.frames);
    ASSERT_EQ(stats.error, "") << c.what;
    for (const auto& [key, value] : c.expected)
      EXPECT_EQ(Get(stats, key), value) << c.what << ": " << key;
  }
}

TEST(FrameStats, HistogramBucketsAreHalfOpenWithOneFor100MsAndOver) {
  const FrameStats stats =
      Summarize({0, 249'999, 250'000, 99'999'999, 100'000'000, kMaxTotalNs / 2});
  std::vector<std::size_t> want(kHistogramBuckets, 0);
  want[0] = 2;
  want[1] = 1;
  want[399] = 1;
  want[400] = 2;
  EXPECT_EQ(stats.histogram, want);
}

TEST(FrameStats, FiguresWithTooFewFramesAreFlagged) {
  for (const std::size_t n : {99, 100, 101, 999, 1000}) {
    const FrameStats stats = Summarize(Ns(n, 1000000));
    EXPECT_EQ(stats.p99Ms.fewFrames, n < 100) << n;
    EXPECT_EQ(stats.low1.integral.fewFrames, n < 100) << n;
    EXPECT_EQ(stats.jitterP99Ms.fewFrames, n < 101) << n;
    EXPECT_EQ(stats.low01.lowAverage.fewFrames, n < 1000) << n;
  }
}

TEST(FrameStats, RefusesWhatHasNoStatistics) {
  const struct {
    Ns frames;
    const char* says;
  } cases[] = {{{}, "no frames"},
               {{5}, "one frame"},
               {{3, -1, 4}, "frame 2 of 3: a negative"},
               {{kMaxTotalNs, 1}, "more than 1e17 ns"},
               {{INT64_MAX, INT64_MAX}, "more than 1e17 ns"},
               {{0, 0}, "add up to 0 ns"}};
  // The limit itself is allowed.
  EXPECT_EQ(Summarize({kMaxTotalNs / 2, kMaxTotalNs / 2}).totalNs, kMaxTotalNs);
  EXPECT_EQ(SummarizeInParts({kMaxTotalNs / 2, kMaxTotalNs / 2}, 1).totalNs, kMaxTotalNs);
  for (const auto& c : cases) {
    const FrameStats stats = Summarize(c.frames);
    EXPECT_NE(stats.error.find(c.says), std::string::npos) << stats.error;
    EXPECT_EQ(SummarizeInParts(c.frames, 1).error, stats.error);
    EXPECT_TRUE(Figures(stats).empty());
    EXPECT_TRUE(Stutters(c.frames).empty());
  }
}

// Passes cut in two give what they give whole, wherever the cut falls:
// near the start, inside the first stutter window, on a stutter, mid-way.
TEST(FrameStats, PartsAddUpToTheWhole) {
  Ns noisy, bunched(20000, 8000000);
  std::uint64_t state = 12345;
  for (std::size_t i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    noisy.push_back(8000000 + static_cast<std::int64_t>(state >> 44) * (i % 97 == 0 ? 40 : 1));
  }
  bunched[10] = 900000000;  // too bunched for counting: sorted instead
  for (const Ns& ns : {noisy, bunched}) {
    const FrameStats whole = SummarizeInParts(ns, 0);
    ASSERT_EQ(whole.error, "");
    for (const std::size_t split : {1, 2, 31, 32, 97, 98, 10000, 19999}) {
      const FrameStats parts = SummarizeInParts(ns, split);
      const auto a = Figures(whole), b = Figures(parts);
      ASSERT_EQ(a.size(), b.size());
      for (std::size_t f = 0; f < a.size(); ++f)
        EXPECT_EQ(a[f].value, b[f].value) << a[f].key << " split at " << split;
      EXPECT_EQ(whole.histogram, parts.histogram) << split;
    }
  }
}

TEST(FrameStats, MillisecondsRoundToTheNearestNanosecond) {
  const FrameTimes fromDouble = FrameTimesFromMs(std::vector<double>{16.6666666, 0.0000005, 0.0});
  EXPECT_EQ(fromDouble.ns, (Ns{16666667, 1, 0}));
  EXPECT_EQ(FrameTimesFromMs(std::vector<float>{0.1f}).ns, Ns{100000});
  for (const double bad : {std::nan(""), HUGE_VAL, -0.001, 1e12}) {
    const FrameTimes times = FrameTimesFromMs(std::vector<double>{1.0, bad});
    EXPECT_TRUE(times.ns.empty());
    EXPECT_EQ(times.error.rfind("frame 2 of 2: ", 0), 0u) << times.error;
  }
}

}  // namespace
