// Mergeable summaries: exact bucket indices, merges in any order, fleet
// figures within their stated bound of the exact ones, and the OTLP form.
#include <ZelAnalysis/FrameSummary.h>
#include <ZelAnalysis/SummaryJson.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "analysis/sha256.h"

namespace zel_analysis {
namespace {

bool operator==(const FrameSummary& a, const FrameSummary& b) {
  return a.scale == b.scale && a.sessions == b.sessions && a.frames == b.frames &&
         a.totalNs == b.totalNs && a.minNs == b.minNs && a.maxNs == b.maxNs &&
         a.zeroCount == b.zeroCount && a.offset == b.offset && a.counts == b.counts &&
         a.over == b.over && a.stutters == b.stutters && a.stutterNs == b.stutterNs &&
         a.jitterNs == b.jitterNs;
}

// Whole numbers as little-endian 32-bit limbs, just enough to raise a
// 64-bit value to the 128th power and compare it with a power of two.
using Big = std::vector<std::uint32_t>;

Big Square(const Big& a) {
  Big out(2 * a.size(), 0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < a.size(); ++j) {
      const std::uint64_t t = std::uint64_t{a[i]} * a[j] + out[i + j] + carry;
      out[i + j] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    out[i + a.size()] = static_cast<std::uint32_t>(carry);
  }
  while (out.size() > 1 && out.back() == 0) out.pop_back();
  return out;
}

// Whether v^128 < 2^bits.
bool Pow128Below(std::uint64_t v, int bits) {
  Big x = {static_cast<std::uint32_t>(v), static_cast<std::uint32_t>(v >> 32)};
  for (int i = 0; i < 7; ++i) x = Square(x);
  while (x.size() > 1 && x.back() == 0) x.pop_back();
  const int top = 32 * static_cast<int>(x.size() - 1) + 31 - __builtin_clz(x.back());
  return top < bits;
}

// Against exact integer arithmetic: the first frame time of each bucket of
// the octave [2^56, 2^57) ns is the least v with v^128 >= 2^(56 * 128 + j).
TEST(FrameSummary, BucketsStartWhereExactArithmeticSays) {
  for (int j = 1; j < 128; ++j) {
    auto v = static_cast<std::uint64_t>(std::exp2l(56.0L + j / 128.0L));
    while (Pow128Below(v, 56 * 128 + j)) ++v;
    while (!Pow128Below(v - 1, 56 * 128 + j)) --v;
    const auto ns = static_cast<std::int64_t>(v);
    EXPECT_EQ(BucketIndex(ns, 7), 56 * 128 + j) << j;
    EXPECT_EQ(BucketIndex(ns - 1, 7), 56 * 128 + j - 1) << j;
  }
}

TEST(FrameSummary, BucketIndexAtScales) {
  struct Case {
    std::int64_t ns;
    int scale;
    std::int32_t index;
  };
  const Case cases[] = {{1, 7, -1},
                        {2, 7, 127},
                        {3, 7, 202},
                        {1000000, 7, 2551},
                        {16666667, 7, 3070},
                        {kMaxTotalNs, 7, 7228},
                        {16666667, 3, 191},
                        {16666667, -2, 5},
                        {2, 0, 0},
                        {3, 0, 1},
                        {4, 0, 1},
                        {5, 0, 2},
                        {1, 3, -1},
                        {3, -1, 0},
                        {4, -1, 0},
                        {5, -1, 1},
                        {kMaxTotalNs, -10, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(BucketIndex(c.ns, c.scale), c.index) << c.ns << " " << c.scale;
  // Every bucket's estimate lies in it, where the bucket holds a whole number.
  for (const int scale : {7, 2, -3}) {
    for (std::int32_t i = 0; i <= BucketIndex(kMaxTotalNs, scale); ++i) {
      const std::int64_t mid = BucketMidNs(i, scale);
      if (BucketLowerNs(i + 1, scale) - BucketLowerNs(i, scale) >= 1)
        ASSERT_EQ(BucketIndex(mid, scale), i) << scale;
    }
  }
}

// Sessions of several shapes, summarised, merged in several orders (one
// session at a coarser scale), against the statistics of all their frames.
TEST(FrameSummary, MergedFiguresStayWithinTheBound) {
  std::mt19937_64 random(29);
  std::vector<std::vector<std::int64_t>> sessions;
  for (int s = 0; s < 14; ++s) {
    std::vector<std::int64_t> frames(2 + random() % 3000);
    std::normal_distribution<double> jitter(16.67e6 * (1 + s % 3), 1e6 + 2e5 * s);
    for (std::int64_t& ns : frames) {
      ns = std::max<std::int64_t>(0, std::llround(jitter(random)));
      if (random() % 97 == 0) ns = 100000000 + static_cast<std::int64_t>(random() % 900000000);
      if (s == 3) ns = static_cast<std::int64_t>(random() % 60);  // zeros and the lowest buckets
    }
    sessions.push_back(frames);
  }
  std::vector<FrameSummary> summaries;
  std::vector<std::int64_t> all;
  std::uint64_t stutters = 0;
  for (const auto& frames : sessions) {
    std::string error;
    summaries.push_back(SummaryOf(frames, error));
    ASSERT_EQ(error, "");
    ASSERT_EQ(CheckSummary(summaries.back()), "");
    stutters += Summarize(frames).stutters;
    all.insert(all.end(), frames.begin(), frames.end());
  }
  for (const int coarse : {7, 3, -2}) {
    FrameSummary first;
    for (int order = 0; order < 3; ++order) {
      std::vector<FrameSummary> shuffled = summaries;
      ASSERT_TRUE(Coarsen(shuffled[5], coarse));
      std::shuffle(shuffled.begin(), shuffled.end(), random);
      FrameSummary merged = SummaryBuilder().Summary();
      for (const FrameSummary& s : shuffled) ASSERT_TRUE(Merge(merged, s));
      if (order == 0) first = merged;
      EXPECT_TRUE(merged == first) << "merge order " << order << " at scale " << coarse;
    }
    const FleetStats fleet = FleetStatsOf(first);
    const FrameStats exact = Summarize(all);
    ASSERT_EQ(fleet.error, "");
    EXPECT_EQ(fleet.scale, coarse);
    EXPECT_EQ(fleet.frames, all.size());
    EXPECT_EQ(fleet.sessions, sessions.size());
    EXPECT_EQ(fleet.averageFps, exact.averageFps);
    EXPECT_EQ(fleet.meanMs, exact.meanMs);
    EXPECT_EQ(fleet.stutters, stutters);
    const auto over =
        std::count_if(all.begin(), all.end(), [](std::int64_t ns) { return ns > 33300000; });
    EXPECT_EQ(fleet.overPercent[1],
              static_cast<double>(100 * over) / static_cast<double>(all.size()));
    const std::pair<double, double> pairs[] = {
        {fleet.p50Ms.value, exact.p50Ms.value},
        {fleet.p90Ms.value, exact.p90Ms.value},
        {fleet.p95Ms.value, exact.p95Ms.value},
        {fleet.p99Ms.value, exact.p99Ms.value},
        {fleet.p999Ms.value, exact.p999Ms.value},
        {1 / fleet.low1Percentile.value, 1 / exact.low1.percentile.value},
        {1 / fleet.low1LowAverage.value, 1 / exact.low1.lowAverage.value},
        {1 / fleet.low01Percentile.value, 1 / exact.low01.percentile.value},
        {1 / fleet.low01LowAverage.value, 1 / exact.low01.lowAverage.value}};
    for (const auto& [estimate, truth] : pairs)
      EXPECT_LE(std::fabs(estimate - truth), truth * fleet.errorBound * (1 + 1e-12) + 5e-7)
          << estimate << " against " << truth << " at scale " << coarse;
  }
}

TEST(FrameSummary, RefusesWhatWouldOverflow) {
  SummaryBuilder builder;
  EXPECT_FALSE(builder.Add(-1));
  EXPECT_TRUE(builder.Add(kMaxTotalNs - 5));
  EXPECT_FALSE(builder.Add(6));
  FrameSummary big = builder.Summary();
  FrameSummary sum = big;
  for (int i = 0; i < 91; ++i) ASSERT_TRUE(Merge(sum, big));  // 92e17 ns
  const FrameSummary before = sum;
  EXPECT_FALSE(Merge(sum, big));  // 93e17 ns would pass 2^63
  EXPECT_TRUE(sum == before);
}

SummaryDocument Sample() {
  std::string error;
  SummaryDocument d;
  d.summary = SummaryOf({16000000, 17000000, 0, 1, 40000000, 16500000, 900000000}, error);
  d.application = "game \"x\"\n2";
  d.startUnixNs = 1700000000000000000;
  d.endUnixNs = 1700000001000000000;
  return d;
}

TEST(SummaryJson, ReadsBackWhatItWrites) {
  const SummaryDocument d = Sample();
  EXPECT_EQ(d.summary.zeroCount, 1u);
  EXPECT_EQ(d.summary.offset, -1);  // the 1 ns frame
  SummaryDocument back;
  ASSERT_EQ(SummaryFromJson(SummaryToJson(d), back), "");
  EXPECT_TRUE(back.summary == d.summary);
  EXPECT_EQ(back.application, d.application);
  EXPECT_EQ(SessionKey(back.summary), SessionKey(d.summary));

  // The same buckets at scale 9, four to each of scale 7's, read at 7.
  std::string fine = SummaryToJson(d);
  const auto replace = [&](const std::string& from, const std::string& to) {
    const std::size_t at = fine.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    fine.replace(at, from.size(), to);
  };
  replace("\"scale\":7", "\"scale\":9");
  replace("\"offset\":" + std::to_string(d.summary.offset),
          "\"offset\":" + std::to_string(4 * d.summary.offset));
  std::string counts;
  for (const std::uint64_t c : d.summary.counts)
    counts +=
        std::string(counts.empty() ? "" : ", ") + R"("0", "0", "0", ")" + std::to_string(c) + '"';
  const std::size_t open = fine.find("\"bucketCounts\":[") + 16;
  fine.replace(open, fine.find(']', open) - open, counts);
  ASSERT_EQ(SummaryFromJson(fine, back), "");
  EXPECT_TRUE(back.summary == d.summary);
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(SummaryJson, RefusesBadSummariesInOneLine) {
  const std::string good = SummaryToJson(Sample());
  const std::string offset = "\"offset\":" + std::to_string(Sample().summary.offset);
  const struct {
    std::string from, to, error;
  } cases[] = {
      {"\"scale\":7", "\"scale\":21", "scale 21 is outside -10 to 20"},
      {R"("zeroCount":"1")", R"("zeroCount":"-1")", "zeroCount is negative: -1"},
      {R"("zeroCount":"1")", R"("zeroCount":"9223372036854775808")", "not below 2^63"},
      {R"("zeroCount":"1")", R"("zeroCount":"2")", "the buckets hold 8 frames, the count says 7"},
      {offset, "\"offset\":-2", "positive.offset -2 puts buckets outside"},
      {offset, "\"offset\":7300", "positive.offset 7300 puts buckets outside"},
      {"frame.stutters", "frame.other", "no sum metric \"frame.stutters\""},
      {"{\"resourceMetrics\"", "[", "line 1: "},
  };
  for (const auto& c : cases) {
    std::string text = good;
    text.replace(text.find(c.from), c.from.size(), c.to);
    SummaryDocument d;
    const std::string error = SummaryFromJson(text, d);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(d.summary.frames, 0u);
  }
}

}  // namespace
}  // namespace zel_analysis
