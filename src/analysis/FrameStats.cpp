#include "ZelAnalysis/FrameStats.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <thread>

#include "csv.h"
#include "parts.h"
#include "stats.h"

namespace zel_analysis {

namespace {

constexpr double kNsPerMs = 1e6;
constexpr double kNsPerSecond = 1e9;

// ceil(a / b) for a >= 0, b > 0.
template <typename T>
T CeilDiv(T a, T b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

// The index of the nearest rank of q = perMille / 1000 among n >= 1 sorted
// values, ceil(q * n) - 1, split so that no product can overflow.
std::size_t Rank(std::size_t n, std::size_t perMille) {
  return n / 1000 * perMille + CeilDiv<std::size_t>(n % 1000 * perMille, 1000) - 1;
}

double Ms(std::int64_t ns) { return static_cast<double>(ns) / kNsPerMs; }

// Frames per second over `frames` frames taking `ns` in all.
double Rate(std::size_t frames, std::int64_t ns) {
  if (ns == 0) return std::numeric_limits<double>::infinity();
  return kNsPerSecond * static_cast<double>(frames) / static_cast<double>(ns);
}

// Calls visit(i, stutter) for each frame i in [from, to) but the first, in
// order, over checked frame times; `stutter` says whether it is one. The
// window starts as it stands after the frames before `from`.
template <typename Visit>
void ForEachFrame(const std::vector<std::int64_t>& frameNs, std::size_t from, std::size_t to,
                  Visit visit) {
  from = std::max<std::size_t>(from, 1);
  std::int64_t windowNs = 0;
  for (std::size_t i = from > kStutterWindow ? from - 1 - kStutterWindow : 0; i + 1 < from; ++i)
    windowNs += frameNs[i];
  for (std::size_t i = from; i < to; ++i) {
    windowNs += frameNs[i - 1];
    if (i > kStutterWindow) windowNs -= frameNs[i - 1 - kStutterWindow];
    const auto count = static_cast<std::int64_t>(std::min(i, kStutterWindow));
    // frame > 2.5 * windowNs / count, exactly: both sides stay below
    // 60 * kMaxTotalNs < 2^63.
    visit(i, 2 * count * frameNs[i] > 5 * windowNs);
  }
}

// The integral low's frame: adding frame times from the slowest down, the
// one that brings the running sum to `target` or more (running >= total /
// 100 is running >= ceil(total / 100) in integers). With target at most 1 %
// of the total it is among the slowest ceil(n / 100) frames, the ones sorted
// at the end: their mean is at least the mean of all, so together they hold
// at least 1 % of the time.
std::int64_t IntegralFrame(const std::vector<std::int64_t>& sorted, std::int64_t target) {
  // `sorted` may hold only the slowest of the frames, as long as it holds
  // those ceil(n / 100).
  std::size_t i = sorted.size();
  std::int64_t running = 0;
  do {
    running += sorted[--i];
  } while (running < target);
  return sorted[i];
}

// |frameNs[i] - frameNs[i - 1]|, for i >= 1.
std::int64_t Difference(const std::vector<std::int64_t>& frameNs, std::size_t i) {
  const std::int64_t a = frameNs[i];
  const std::int64_t b = frameNs[i - 1];
  return a > b ? a - b : b - a;
}

// The least and the most of some values.
struct Range {
  std::int64_t least, most;
  void Add(std::int64_t v) {
    least = std::min(least, v);
    most = std::max(most, v);
  }
};

// Selection by counting, for long runs: the n values get(0 .. n - 1), all
// within `range`, go into 2^16 buckets by the high bits of their distance
// from the least. One pass counts them, one collects the few buckets that
// hold the `wanted` sorted positions (ascending), and every bucket from the
// one of position `tailFrom` up; those are then ranked among themselves.
// `values` gets the value at each wanted position, `tail` the sorted values
// from position `tailStart` (at most tailFrom) on. False, having changed
// nothing, when those buckets hold more than a quarter of the values
// (values bunched together beside a far outlier, or few values): sorting a
// copy is then cheaper. Either way the values are exactly those of a sorted copy.
// Both passes over the values run in two parts when `split` is not 0 (see
// InParts).
template <typename Get>
bool SelectByCounting(std::size_t n, const Get& get, Range range,
                      const std::vector<std::size_t>& wanted, std::size_t tailFrom,
                      std::int64_t* values, std::vector<std::int64_t>& tail, std::size_t& tailStart,
                      std::size_t split) {
  constexpr std::size_t kBuckets = std::size_t{1} << 16;
  if (n < kBuckets / 4) return false;
  const std::int64_t least = range.least, most = range.most;
  int shift = 0;
  while (static_cast<std::uint64_t>(most - least) >> shift >= kBuckets) ++shift;
  const auto bucket = [&](std::int64_t v) {
    return static_cast<std::size_t>((v - least) >> shift);
  };
  std::vector<std::size_t> counts(kBuckets, 0), more(split != 0 ? kBuckets : 0, 0);
  InParts(n, split, [&](std::size_t from, std::size_t to, int part) {
    std::vector<std::size_t>& mine = part == 0 ? counts : more;
    for (std::size_t i = from; i < to; ++i) ++mine[bucket(get(i))];
  });
  for (std::size_t b = 0; b < more.size(); ++b) counts[b] += more[b];

  std::vector<std::size_t> bucketOf(wanted.size()), startOf(wanted.size());
  std::size_t tailBucket = kBuckets, start = 0, w = 0;
  for (std::size_t b = 0; b < kBuckets; start += counts[b], ++b) {
    for (; w < wanted.size() && wanted[w] < start + counts[b]; ++w) {
      bucketOf[w] = b;
      startOf[w] = start;
    }
    if (tailBucket == kBuckets && tailFrom < start + counts[b]) {
      tailBucket = b;
      tailStart = start;
    }
  }
  // From here counts[b] is 1 + the bin of bucket b, or 0 for none.
  std::size_t collected = tailBucket < kBuckets ? n - tailStart : 0;
  std::vector<std::vector<std::int64_t>> bins;
  std::vector<std::size_t> binSizes;
  for (std::size_t b = 0; b < kBuckets; ++b) {
    const bool binned =
        b < tailBucket && std::find(bucketOf.begin(), bucketOf.end(), b) != bucketOf.end();
    if (binned) {
      collected += counts[b];
      binSizes.push_back(counts[b]);
    }
    counts[b] = binned ? binSizes.size() : 0;
  }
  if (collected > n / 4) return false;
  bins.resize(binSizes.size());
  for (std::size_t i = 0; i < bins.size(); ++i) bins[i].reserve(binSizes[i]);
  tail.clear();
  tail.reserve(tailBucket < kBuckets ? n - tailStart : 0);
  // The second part's values go into bins of their own, added after.
  std::vector<std::vector<std::int64_t>> moreBins(split != 0 ? bins.size() : 0);
  std::vector<std::int64_t> moreTail;
  InParts(n, split, [&](std::size_t from, std::size_t to, int part) {
    std::vector<std::vector<std::int64_t>>& into = part == 0 ? bins : moreBins;
    std::vector<std::int64_t>& intoTail = part == 0 ? tail : moreTail;
    for (std::size_t i = from; i < to; ++i) {
      const std::int64_t v = get(i);
      const std::size_t b = bucket(v);
      if (b >= tailBucket) {
        intoTail.push_back(v);
      } else if (counts[b] != 0) {
        into[counts[b] - 1].push_back(v);
      }
    }
  });
  for (std::size_t i = 0; i < moreBins.size(); ++i)
    bins[i].insert(bins[i].end(), moreBins[i].begin(), moreBins[i].end());
  tail.insert(tail.end(), moreTail.begin(), moreTail.end());
  std::sort(tail.begin(), tail.end());
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    if (bucketOf[k] >= tailBucket) {
      values[k] = tail[wanted[k] - tailStart];
      continue;
    }
    std::vector<std::int64_t>& bin = bins[counts[bucketOf[k]] - 1];
    const auto at = bin.begin() + static_cast<std::ptrdiff_t>(wanted[k] - startOf[k]);
    std::nth_element(bin.begin(), at, bin.end());
    values[k] = *at;
  }
  return true;
}

FrameTimes FromMs(const double* ms, std::size_t count) {
  FrameTimes times;
  times.ns.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::string error;
    if (!csv::ToDuration(ms[i], 1000000, times.ns[i], error)) {
      times.ns.clear();
      times.error = "frame " + std::to_string(i + 1) + " of " + std::to_string(count) + ": " +
                    csv::Fixed(ms[i], 6) + " ms is " + error;
      break;
    }
  }
  return times;
}

}  // namespace

std::string CheckFrameTimes(const std::vector<std::int64_t>& frameNs, std::int64_t& totalNs) {
  if (frameNs.empty()) return "no frames";
  if (frameNs.size() == 1) return "one frame: the statistics need at least two";
  totalNs = 0;
  for (std::size_t i = 0; i < frameNs.size(); ++i) {
    if (frameNs[i] < 0) {
      return "frame " + std::to_string(i + 1) + " of " + std::to_string(frameNs.size()) +
             ": a negative frame time, " + std::to_string(frameNs[i]) + " ns";
    }
    if (frameNs[i] > kMaxTotalNs - totalNs)
      return "the frame times add up to more than 1e17 ns (about 3 years)";
    totalNs += frameNs[i];
  }
  if (totalNs == 0) return "the frame times add up to 0 ns";
  return {};
}

FrameTimes FrameTimesFromMs(const std::vector<double>& ms) { return FromMs(ms.data(), ms.size()); }

FrameTimes FrameTimesFromMs(const std::vector<float>& ms) {
  const std::vector<double> wide(ms.begin(), ms.end());
  return FromMs(wide.data(), wide.size());
}

std::vector<std::int64_t> FrameTimesOf(const Capture& capture) {
  std::vector<std::int64_t> ns;
  ns.reserve(capture.frames.size());
  for (const Frame& frame : capture.frames) ns.push_back(frame.intervalNs);
  return ns;
}

std::vector<std::size_t> Stutters(const std::vector<std::int64_t>& frameNs) {
  std::vector<std::size_t> stutters;
  std::int64_t totalNs = 0;
  if (CheckFrameTimes(frameNs, totalNs).empty()) {
    ForEachFrame(frameNs, 0, frameNs.size(), [&](std::size_t i, bool stutter) {
      if (stutter) stutters.push_back(i);
    });
  }
  return stutters;
}

namespace {

// The frame times' sum, as CheckFrameTimes finds it, with its two parts
// checked at the same time: where either fails, or their sums together
// pass the limit, CheckFrameTimes says which frame fails first.
std::string CheckInParts(const std::vector<std::int64_t>& frameNs, std::size_t split,
                         std::int64_t& totalNs) {
  if (frameNs.size() < 2 || split == 0) return CheckFrameTimes(frameNs, totalNs);
  std::int64_t sums[2] = {0, 0};
  bool fine[2] = {true, true};
  InParts(frameNs.size(), split, [&](std::size_t from, std::size_t to, int part) {
    std::int64_t sum = 0;
    for (std::size_t i = from; i < to; ++i) {
      if (frameNs[i] < 0 || frameNs[i] > kMaxTotalNs - sum) {
        fine[part] = false;
        return;
      }
      sum += frameNs[i];
    }
    sums[part] = sum;
  });
  // Each sum is at most kMaxTotalNs: theirs cannot overflow.
  if (!fine[0] || !fine[1] || sums[0] + sums[1] > kMaxTotalNs || sums[0] + sums[1] == 0)
    return CheckFrameTimes(frameNs, totalNs);
  totalNs = sums[0] + sums[1];
  return {};
}

// What the pass over frames [from, to) in order finds.
struct Pass {
  std::size_t stutters = 0;
  std::int64_t stutterNs = 0;
  std::int64_t jitterNs = 0;  // at most twice totalNs
  std::vector<std::size_t> histogram;
  Range frames{0, 0}, differences{0, 0};
};

void Bin(std::vector<std::size_t>& histogram, std::int64_t ft) {
  const auto lastBucket = static_cast<std::int64_t>(kHistogramBuckets - 1);
  ++histogram[static_cast<std::size_t>(std::min(ft / kHistogramBucketNs, lastBucket))];
}

}  // namespace

FrameStats Summarize(const std::vector<std::int64_t>& frameNs) {
  // Long runs on two threads where there are two cores; the threads cost
  // far less than a quarter of a million frames' passes.
  constexpr std::size_t kTwoThreadsFrom = std::size_t{1} << 18;
  const std::size_t split =
      frameNs.size() >= kTwoThreadsFrom && std::thread::hardware_concurrency() != 1
          ? frameNs.size() / 2
          : 0;
  return SummarizeInParts(frameNs, split);
}

FrameStats SummarizeInParts(const std::vector<std::int64_t>& frameNs, std::size_t split) {
  FrameStats stats;
  std::int64_t totalNs = 0;
  stats.error = CheckInParts(frameNs, split, totalNs);
  if (!stats.error.empty()) return stats;
  const std::size_t n = frameNs.size();
  split = split < n ? split : 0;
  stats.frames = n;
  stats.totalNs = totalNs;
  stats.averageFps = Rate(n, totalNs);
  stats.meanMs = static_cast<double>(totalNs) / (kNsPerMs * static_cast<double>(n));

  // In one pass over the frames, in order: the stutters, the jitter, the
  // histogram and the ranges of the frames and of their differences. Each
  // part finds its own, added together after: all are whole numbers, so
  // the order they are added in does not matter.
  Pass passes[2];
  InParts(n, split, [&](std::size_t from, std::size_t to, int part) {
    Pass& pass = passes[part];
    pass.histogram.assign(kHistogramBuckets, 0);
    if (from == 0) Bin(pass.histogram, frameNs[0]);
    const std::size_t first = std::max<std::size_t>(from, 1);
    pass.frames = {frameNs[first], frameNs[first]};
    pass.differences = {Difference(frameNs, first), Difference(frameNs, first)};
    ForEachFrame(frameNs, from, to, [&](std::size_t i, bool stutter) {
      const std::int64_t ft = frameNs[i];
      if (stutter) {
        ++pass.stutters;
        pass.stutterNs += ft;
      }
      const std::int64_t difference = Difference(frameNs, i);
      pass.jitterNs += difference;
      Bin(pass.histogram, ft);
      pass.frames.Add(ft);
      pass.differences.Add(difference);
    });
  });
  Pass& whole = passes[0];
  whole.frames.Add(frameNs[0]);
  if (split != 0) {
    const Pass& second = passes[1];
    whole.stutters += second.stutters;
    whole.stutterNs += second.stutterNs;
    whole.jitterNs += second.jitterNs;
    for (std::size_t b = 0; b < kHistogramBuckets; ++b) whole.histogram[b] += second.histogram[b];
    whole.frames.Add(second.frames.least);
    whole.frames.Add(second.frames.most);
    whole.differences.Add(second.differences.least);
    whole.differences.Add(second.differences.most);
  }
  stats.stutters = whole.stutters;
  stats.histogram = std::move(whole.histogram);
  const std::int64_t stutterNs = whole.stutterNs;
  const std::int64_t jitterNs = whole.jitterNs;
  const Range frames = whole.frames;
  const Range differences = whole.differences;
  stats.stutterShare = static_cast<double>(stutterNs) / static_cast<double>(totalNs);
  stats.jitterMeanMs = static_cast<double>(jitterNs) / (kNsPerMs * static_cast<double>(n - 1));

  // The ranks, and the slowest ceil(n / 100) frames sorted: p99 sits at
  // their start or just below it (floor(0.99 n) = n - ceil(n / 100)), so
  // they are the ones above it, and p99.9 and both lows lie among them.
  const std::size_t slowest = CeilDiv(n, std::size_t{100});
  const std::vector<std::size_t> wanted = {Rank(n, 500), Rank(n, 900), Rank(n, 950), Rank(n, 990),
                                           Rank(n, 999)};
  std::int64_t ranked[5] = {};
  std::vector<std::int64_t> tail;  // sorted positions tailStart .. n - 1, sorted
  std::size_t tailStart = 0;
  std::vector<std::int64_t> sorted;  // only when counting does not pay
  const auto frame = [&](std::size_t i) { return frameNs[i]; };
  if (!SelectByCounting(n, frame, frames, wanted, n - slowest, ranked, tail, tailStart, split)) {
    // Each std::nth_element working only above the one before.
    sorted = frameNs;
    const auto at = [&](std::size_t index) {
      return sorted.begin() + static_cast<std::ptrdiff_t>(index);
    };
    std::size_t from = 0;
    for (std::size_t w = 0; w < 4; ++w) {
      if (wanted[w] >= from) {
        std::nth_element(at(from), at(wanted[w]), sorted.end());
        from = wanted[w] + 1;
      }
      ranked[w] = sorted[wanted[w]];
    }
    std::sort(at(n - slowest), sorted.end());
    ranked[4] = sorted[wanted[4]];
    tail.assign(at(n - slowest), sorted.end());
    tailStart = n - slowest;
  }
  stats.p50Ms = {Ms(ranked[0]), n < 2};
  stats.p90Ms = {Ms(ranked[1]), n < kFramesForP90};
  stats.p95Ms = {Ms(ranked[2]), n < kFramesForP95};
  stats.p99Ms = {Ms(ranked[3]), n < kFramesForPercent};
  stats.p999Ms = {Ms(ranked[4]), n < kFramesForPermille};

  const std::size_t slowestPermille = CeilDiv(n, std::size_t{1000});
  const auto last = [&](std::size_t count) {
    return tail.end() - static_cast<std::ptrdiff_t>(count);
  };
  const std::int64_t percentNs = std::accumulate(last(slowest), tail.end(), std::int64_t{0});
  const std::int64_t permilleNs =
      std::accumulate(last(slowestPermille), tail.end(), std::int64_t{0});
  const std::int64_t percentFrame = IntegralFrame(tail, CeilDiv<std::int64_t>(totalNs, 100));
  const std::int64_t permilleFrame = IntegralFrame(tail, CeilDiv<std::int64_t>(totalNs, 1000));

  const bool fewPercent = n < kFramesForPercent;
  const bool fewPermille = n < kFramesForPermille;
  stats.low1 = {{Rate(1, ranked[3]), fewPercent},
                {Rate(slowest, percentNs), fewPercent},
                {Rate(1, percentFrame), fewPercent}};
  stats.low01 = {{Rate(1, ranked[4]), fewPermille},
                 {Rate(slowestPermille, permilleNs), fewPermille},
                 {Rate(1, permilleFrame), fewPermille}};

  // The jitter's rank; when counting does not pay, in the room of the
  // sorted copy: one copy at a time keeps a long capture within 16 bytes a
  // frame.
  std::int64_t jitterP99 = 0;
  const std::size_t jitterRank = Rank(n - 1, 990);
  const auto difference = [&](std::size_t i) { return Difference(frameNs, i + 1); };
  if (!SelectByCounting(n - 1, difference, differences, {jitterRank}, n - 1, &jitterP99, tail,
                        tailStart, split)) {
    sorted.resize(n - 1);
    for (std::size_t i = 1; i < n; ++i) sorted[i - 1] = Difference(frameNs, i);
    const auto at = sorted.begin() + static_cast<std::ptrdiff_t>(jitterRank);
    std::nth_element(sorted.begin(), at, sorted.end());
    jitterP99 = *at;
  }
  stats.jitterP99Ms = {Ms(jitterP99), n < kFramesForJitterP99};
  return stats;
}

std::vector<NamedFigure> Figures(const FrameStats& s) {
  if (!s.error.empty()) return {};
  return {
      {"frames", "frames", static_cast<double>(s.frames), false},
      {"duration_s", "duration (s)", static_cast<double>(s.totalNs) / kNsPerSecond, false},
      {"average_fps", "average (fps)", s.averageFps, false},
      {"mean_ms", "mean frame time (ms)", s.meanMs, false},
      {"p50_ms", "p50 (ms)", s.p50Ms.value, s.p50Ms.fewFrames},
      {"p90_ms", "p90 (ms)", s.p90Ms.value, s.p90Ms.fewFrames},
      {"p95_ms", "p95 (ms)", s.p95Ms.value, s.p95Ms.fewFrames},
      {"p99_ms", "p99 (ms)", s.p99Ms.value, s.p99Ms.fewFrames},
      {"p99_9_ms", "p99.9 (ms)", s.p999Ms.value, s.p999Ms.fewFrames},
      {"low_1_percentile_fps", "1% low, percentile (fps)", s.low1.percentile.value,
       s.low1.percentile.fewFrames},
      {"low_1_low_average_fps", "1% low, low average (fps)", s.low1.lowAverage.value,
       s.low1.lowAverage.fewFrames},
      {"low_1_integral_fps", "1% low, integral (fps)", s.low1.integral.value,
       s.low1.integral.fewFrames},
      {"low_0_1_percentile_fps", "0.1% low, percentile (fps)", s.low01.percentile.value,
       s.low01.percentile.fewFrames},
      {"low_0_1_low_average_fps", "0.1% low, low average (fps)", s.low01.lowAverage.value,
       s.low01.lowAverage.fewFrames},
      {"low_0_1_integral_fps", "0.1% low, integral (fps)", s.low01.integral.value,
       s.low01.integral.fewFrames},
      {"stutters", "stutters", static_cast<double>(s.stutters), false},
      {"stutter_time_percent", "stutter time (%)", 100.0 * s.stutterShare, false},
      {"jitter_mean_ms", "jitter mean (ms)", s.jitterMeanMs, false},
      {"jitter_p99_ms", "jitter p99 (ms)", s.jitterP99Ms.value, s.jitterP99Ms.fewFrames},
  };
}

}  // namespace zel_analysis
