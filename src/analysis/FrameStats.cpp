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

// |a - b|, for checked frame times (never negative).
std::int64_t Apart(std::int64_t a, std::int64_t b) { return a > b ? a - b : b - a; }

// |frameNs[i] - frameNs[i - 1]|, for i >= 1.
std::int64_t Difference(const std::vector<std::int64_t>& frameNs, std::size_t i) {
  return Apart(frameNs[i], frameNs[i - 1]);
}

// The least and the most of some values.
struct Range {
  std::int64_t least, most;
  void Add(std::int64_t v) {
    least = std::min(least, v);
    most = std::max(most, v);
  }
  Range Join(const Range& other) const {
    return {std::min(least, other.least), std::max(most, other.most)};
  }
};

// Selection by counting, for long runs: values within a known range go
// into 2^16 buckets by the high bits of their distance from the least.
// One pass counts them, a table for each part of the values; Plan finds
// the few buckets that hold the wanted sorted positions, and every bucket
// from the one of position `tailFrom` up; a second pass, in the same
// parts, copies the values of those buckets each to its place, the tail's
// in the order of their buckets; Finish ranks them among themselves. Plan
// declines when those buckets hold more than a quarter of the values
// (values bunched together beside a far outlier, or few values): sorting a
// copy is then cheaper. Either way the values are exactly those of a
// sorted copy.
class Counting {
public:
  static constexpr std::size_t kBuckets = std::size_t{1} << 16;
  // Whether `n` values may be counted: enough of them, and few enough for
  // 32-bit counts (more are sorted).
  static bool Pays(std::size_t n) {
    return n >= kBuckets / 4 && static_cast<std::uint64_t>(n) < (std::uint64_t{1} << 32);
  }
  // The values of `range`, counted in `parts` parts; none: not counted.
  Counting(Range range, int parts) : m_Least(range.least), m_Parts(parts) {
    while (static_cast<std::uint64_t>(range.most - range.least) >> m_Shift >= kBuckets) ++m_Shift;
    m_Tables.assign(static_cast<std::size_t>(parts) * kBuckets, 0);
  }
  bool Counted() const { return m_Parts != 0; }

  // What a pass's loop holds in its locals: the tables' stores could alias
  // members, which would then be loaded again for every value.
  struct Counter {
    std::int64_t least;
    int shift;
    std::uint32_t* counts;
    void Add(std::int64_t v) const { ++counts[static_cast<std::size_t>((v - least) >> shift)]; }
  };
  // After Plan, each bucket's entry in a part's table is the next place of
  // that part's values among those collected, or kSkip.
  struct Collector {
    std::int64_t least;
    int shift;
    std::uint32_t* places;
    std::int64_t* collected;
    void Add(std::int64_t v) const {
      std::uint32_t& place = places[static_cast<std::size_t>((v - least) >> shift)];
      if (place != kSkip) collected[place++] = v;
    }
  };
  Counter CounterOf(int part) { return {m_Least, m_Shift, Table(part)}; }
  Collector CollectorOf(int part) { return {m_Least, m_Shift, Table(part), m_Collected.data()}; }

  // Where the `n` values counted hold the sorted positions `wanted`
  // (ascending), and the tail from position `tailFrom` (n for none): false
  // when collecting them does not pay.
  bool Plan(std::size_t n, const std::vector<std::size_t>& wanted, std::size_t tailFrom) {
    std::uint32_t* const first = Table(0);
    std::uint32_t* const second = m_Parts == 2 ? Table(1) : nullptr;
    const auto total = [&](std::size_t b) {
      return std::size_t{first[b]} + (second != nullptr ? second[b] : 0);
    };
    m_Wanted = wanted;
    m_Bucket.assign(wanted.size(), kBuckets);
    m_Start.assign(wanted.size(), 0);
    std::size_t start = 0, w = 0;
    for (std::size_t b = 0; b < kBuckets && (w < wanted.size() || tailFrom < n); ++b) {
      const std::size_t count = total(b);
      for (; w < wanted.size() && wanted[w] < start + count; ++w) {
        m_Bucket[w] = b;
        m_Start[w] = start;
      }
      if (tailFrom < start + count) {
        m_TailBucket = b;
        m_TailStart = start;
        break;  // the wanted positions at or above tailFrom are in the tail
      }
      start += count;
    }
    for (; w < wanted.size(); ++w) m_Bucket[w] = m_TailBucket;  // above tailFrom
    // The buckets of wanted positions below the tail, each once (ascending).
    std::vector<std::size_t> bins;
    for (const std::size_t b : m_Bucket)
      if (b < m_TailBucket && (bins.empty() || bins.back() != b)) bins.push_back(b);
    m_TailSize = m_TailBucket < kBuckets ? n - m_TailStart : 0;
    std::size_t collected = m_TailSize;
    for (const std::size_t b : bins) collected += total(b);
    if (collected > n / 4) return false;
    m_Collected.resize(collected);

    // The places: the tail first, its buckets in order, then the bins;
    // each bucket's values by part. Other buckets are skipped.
    const auto place = [&](std::size_t b, std::size_t& at) {
      const std::size_t firstCount = first[b];
      first[b] = static_cast<std::uint32_t>(at);
      at += firstCount;
      if (second == nullptr) return;
      const std::size_t secondCount = second[b];
      second[b] = static_cast<std::uint32_t>(at);
      at += secondCount;
    };
    std::size_t at = m_TailSize;
    m_BinFrom.assign(wanted.size(), 0);
    m_BinSize.assign(wanted.size(), 0);
    for (const std::size_t b : bins) {
      for (std::size_t k = 0; k < wanted.size(); ++k) {
        if (m_Bucket[k] != b) continue;
        m_BinFrom[k] = at;
        m_BinSize[k] = total(b);
      }
      place(b, at);
    }
    std::size_t bin = 0;
    for (std::size_t b = 0; b < m_TailBucket; ++b) {
      if (bin < bins.size() && bins[bin] == b) {
        ++bin;
        continue;
      }
      first[b] = kSkip;
      if (second != nullptr) second[b] = kSkip;
    }
    at = 0;
    for (std::size_t b = m_TailBucket; b < kBuckets; ++b) {
      const std::size_t from = at;
      place(b, at);
      if (at != from) m_TailEnds.push_back(at);
    }
    return true;
  }

  // After the collecting pass: the value at each wanted position into
  // `values`, and the sorted values from position `tailStart` on (those of
  // the tail, if any) into `tail`.
  void Finish(std::int64_t* values, std::vector<std::int64_t>& tail, std::size_t& tailStart) {
    const auto at = [&](std::size_t place) {
      return m_Collected.begin() + static_cast<std::ptrdiff_t>(place);
    };
    std::size_t from = 0;
    for (const std::size_t to : m_TailEnds) {
      std::sort(at(from), at(to));
      from = to;
    }
    for (std::size_t k = 0; k < m_Wanted.size(); ++k) {
      if (m_Bucket[k] >= m_TailBucket) {
        values[k] = m_Collected[m_Wanted[k] - m_TailStart];
        continue;
      }
      const std::size_t place = m_BinFrom[k] + (m_Wanted[k] - m_Start[k]);
      std::nth_element(at(m_BinFrom[k]), at(place), at(m_BinFrom[k] + m_BinSize[k]));
      values[k] = m_Collected[place];
    }
    if (m_TailSize == 0) return;
    m_Collected.resize(m_TailSize);
    tail.swap(m_Collected);
    tailStart = m_TailStart;
  }

private:
  static constexpr std::uint32_t kSkip = 0xFFFFFFFF;  // above any place: n / 4 < 2^30
  std::uint32_t* Table(int part) {
    return m_Tables.data() + static_cast<std::size_t>(part) * kBuckets;
  }

  std::int64_t m_Least;
  int m_Shift = 0;
  int m_Parts;
  std::vector<std::uint32_t> m_Tables;  // a part's counts, then its places
  std::vector<std::size_t> m_Wanted, m_Bucket, m_Start, m_BinFrom, m_BinSize;
  std::size_t m_TailBucket = kBuckets, m_TailStart = 0, m_TailSize = 0;
  std::vector<std::size_t> m_TailEnds;  // where each tail bucket with values ends
  std::vector<std::int64_t> m_Collected;
};

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

// The frame times' sum, as CheckFrameTimes finds it, and the ranges of the
// frames and of their differences, with the passes' two parts checked at
// the same time: where either fails, or their sums together pass the
// limit, CheckFrameTimes says which frame fails first.
std::string CheckInParts(const std::vector<std::int64_t>& frameNs, std::size_t split,
                         std::int64_t& totalNs, Range& frames, Range& differences) {
  const std::size_t n = frameNs.size();
  if (n < 2) return CheckFrameTimes(frameNs, totalNs);
  // No values yet: any range of frame times (never negative) joined to it is itself.
  constexpr Range kEmpty{std::numeric_limits<std::int64_t>::max(), 0};
  std::int64_t sums[2] = {0, 0};
  bool fine[2] = {true, true};
  Range frameRanges[2] = {kEmpty, kEmpty}, differenceRanges[2] = {kEmpty, kEmpty};
  InParts(n, split, [&](std::size_t from, std::size_t to, int part) {
    const std::int64_t* ns = frameNs.data();
    std::int64_t sum = 0;
    Range f = kEmpty, d = kEmpty;
    // A difference is taken only between frames checked: the one before
    // the part here, the others in the loop.
    if (from > 0 && (ns[from - 1] < 0 || ns[from - 1] > kMaxTotalNs)) {
      fine[part] = false;
      return;
    }
    for (std::size_t i = from; i < to; ++i) {
      const std::int64_t ft = ns[i];
      if (ft < 0 || ft > kMaxTotalNs - sum) {
        fine[part] = false;
        return;
      }
      sum += ft;
      f.Add(ft);
      if (i > 0) {
        const std::int64_t a = ns[i - 1];
        d.Add(Apart(ft, a));
      }
    }
    sums[part] = sum;
    frameRanges[part] = f;
    differenceRanges[part] = d;
  });
  // Each sum is at most kMaxTotalNs: theirs cannot overflow.
  if (!fine[0] || !fine[1] || sums[0] + sums[1] > kMaxTotalNs || sums[0] + sums[1] == 0)
    return CheckFrameTimes(frameNs, totalNs);
  totalNs = sums[0] + sums[1];
  frames = frameRanges[0].Join(frameRanges[1]);
  differences = differenceRanges[0].Join(differenceRanges[1]);
  return {};
}

// What the pass over frames [from, to) in order finds.
struct Pass {
  std::size_t stutters = 0;
  std::int64_t stutterNs = 0;
  std::int64_t jitterNs = 0;  // at most twice totalNs
  std::vector<std::size_t> histogram;
};

void Bin(std::size_t* histogram, std::int64_t ft) {
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
  Range frames{0, 0}, differences{0, 0};
  const std::size_t n = frameNs.size();
  split = split < n ? split : 0;
  stats.error = CheckInParts(frameNs, split, totalNs, frames, differences);
  if (!stats.error.empty()) return stats;
  stats.frames = n;
  stats.totalNs = totalNs;
  stats.averageFps = Rate(n, totalNs);
  stats.meanMs = static_cast<double>(totalNs) / (kNsPerMs * static_cast<double>(n));

  // The ranks: p50 to p99.9, and the slowest ceil(n / 100) frames sorted:
  // p99 sits at their start or just below it (floor(0.99 n) = n -
  // ceil(n / 100)), so they are the ones above it, and p99.9 and both lows
  // lie among them. And the rank of the jitter's p99.
  const std::size_t slowest = CeilDiv(n, std::size_t{100});
  const std::vector<std::size_t> wanted = {Rank(n, 500), Rank(n, 900), Rank(n, 950), Rank(n, 990),
                                           Rank(n, 999)};
  const std::size_t jitterRank = Rank(n - 1, 990);
  const int parts = split != 0 ? 2 : 1;
  Counting frameCounts(frames, Counting::Pays(n) ? parts : 0);
  Counting differenceCounts(differences, Counting::Pays(n - 1) ? parts : 0);

  // In one pass over the frames, in order: the stutters, the jitter, the
  // histogram, and the counts of the frames and of their differences. Each
  // part finds its own, added together after: all are whole numbers, so
  // the order they are added in does not matter.
  Pass passes[2];
  InParts(n, split, [&](std::size_t from, std::size_t to, int part) {
    Pass& pass = passes[part];
    pass.histogram.assign(kHistogramBuckets, 0);
    // In locals (see Counting::Counter).
    std::size_t* histogram = pass.histogram.data();
    const std::int64_t* ns = frameNs.data();
    const bool countFrames = frameCounts.Counted(), countDifferences = differenceCounts.Counted();
    Counting::Counter frameCounter{}, differenceCounter{};
    if (countFrames) frameCounter = frameCounts.CounterOf(part);
    if (countDifferences) differenceCounter = differenceCounts.CounterOf(part);
    if (from == 0) {
      Bin(histogram, ns[0]);
      if (countFrames) frameCounter.Add(ns[0]);
    }
    std::size_t stutters = 0;
    std::int64_t stutterNs = 0, jitterNs = 0;
    ForEachFrame(frameNs, from, to, [&](std::size_t i, bool stutter) {
      const std::int64_t ft = ns[i];
      if (stutter) {
        ++stutters;
        stutterNs += ft;
      }
      const std::int64_t a = ns[i - 1];
      const std::int64_t difference = Apart(ft, a);
      jitterNs += difference;
      Bin(histogram, ft);
      if (countFrames) frameCounter.Add(ft);
      if (countDifferences) differenceCounter.Add(difference);
    });
    pass.stutters = stutters;
    pass.stutterNs = stutterNs;
    pass.jitterNs = jitterNs;
  });
  Pass& whole = passes[0];
  if (split != 0) {
    const Pass& second = passes[1];
    whole.stutters += second.stutters;
    whole.stutterNs += second.stutterNs;
    whole.jitterNs += second.jitterNs;
    for (std::size_t b = 0; b < kHistogramBuckets; ++b) whole.histogram[b] += second.histogram[b];
  }
  stats.stutters = whole.stutters;
  stats.histogram = std::move(whole.histogram);
  stats.stutterShare = static_cast<double>(whole.stutterNs) / static_cast<double>(totalNs);
  stats.jitterMeanMs =
      static_cast<double>(whole.jitterNs) / (kNsPerMs * static_cast<double>(n - 1));

  // The values of the buckets that hold the ranks, collected in one more
  // pass, where counting pays.
  const bool collectFrames = frameCounts.Counted() && frameCounts.Plan(n, wanted, n - slowest);
  const bool collectDifferences =
      differenceCounts.Counted() && differenceCounts.Plan(n - 1, {jitterRank}, n - 1);
  if (collectFrames || collectDifferences) {
    InParts(n, split, [&](std::size_t from, std::size_t to, int part) {
      const std::int64_t* ns = frameNs.data();
      Counting::Collector frameCollector{}, differenceCollector{};
      if (collectFrames) frameCollector = frameCounts.CollectorOf(part);
      if (collectDifferences) differenceCollector = differenceCounts.CollectorOf(part);
      for (std::size_t i = from; i < to; ++i) {
        const std::int64_t ft = ns[i];
        if (collectFrames) frameCollector.Add(ft);
        if (collectDifferences && i > 0) {
          const std::int64_t a = ns[i - 1];
          differenceCollector.Add(Apart(ft, a));
        }
      }
    });
  }
  std::int64_t ranked[5] = {};
  std::vector<std::int64_t> tail;  // sorted positions tailStart .. n - 1, sorted
  std::size_t tailStart = 0;
  std::vector<std::int64_t> sorted;  // only when counting does not pay
  if (collectFrames) {
    frameCounts.Finish(ranked, tail, tailStart);
  } else {
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
  if (collectDifferences) {
    differenceCounts.Finish(&jitterP99, tail, tailStart);
  } else {
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
