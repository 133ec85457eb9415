// ZelTimers analysis: statistics over a run of frame times.
//
// Frame times are whole nanoseconds, so that every sum, rank, window and
// comparison below is exact integer arithmetic; only the figures returned
// are doubles (milliseconds, frames per second), each the correctly rounded
// quotient of exact integers wherever the comment says "exact". The results
// are the same to the bit on every compiler, optimisation level and target.
//
// Definitions, for n frame times ft (in milliseconds in the formulas):
//  - average frame rate: 1000 * n / sum(ft);
//  - percentile q (nearest rank): sorted ascending, the element at index
//    ceil(q * n) - 1, the ceiling taken exactly in integers;
//  - 1 % low (0.1 % low), three ways:
//      percentile:  1000 / p99 (1000 / p99.9);
//      low average: 1000 / the mean of the slowest ceil(n / 100)
//                   (ceil(n / 1000)) frames;
//      integral:    sorted descending, frame times are added until the
//                   running sum is >= 1 % (0.1 %) of sum(ft); 1000 / the
//                   frame time that brought it there;
//  - stutter: a frame longer than 2.5 times the mean of the up to
//    kStutterWindow frames before it (fewer at the start; the first frame is
//    never one);
//  - jitter: |ft(i) - ft(i-1)| for i = 1 .. n-1, in the frames' order.
#ifndef ZELANALYSIS_FRAMESTATS_H
#define ZELANALYSIS_FRAMESTATS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Capture.h"

namespace zel_analysis {

/// The most the frame times may add up to: 1e17 ns, about 3 years. It keeps
/// every intermediate product of the statistics inside 64 bits.
constexpr std::int64_t kMaxTotalNs = 100000000000000000;

/// Frame times in whole nanoseconds, or why there are none.
struct FrameTimes {
  std::vector<std::int64_t> ns;
  std::string error;  ///< one line, "frame 3 of 120: ..."; empty on success
};

/// Milliseconds (e.g. CZelFrameRate's draw history) to nanoseconds, each
/// rounded to the nearest (halves away from zero) after an exact widening
/// to double and one rounded multiplication by 1e6. A NaN, infinite or
/// negative sample, or one above kMaxTotalNs, is an error naming the first
/// such sample by position (from 1), and `ns` is then empty.
FrameTimes FrameTimesFromMs(const std::vector<double>& ms);
FrameTimes FrameTimesFromMs(const std::vector<float>& ms);

/// Why Summarize refuses `frameNs` (one line), or empty with their sum in
/// `totalNs`.
std::string CheckFrameTimes(const std::vector<std::int64_t>& frameNs, std::int64_t& totalNs);

/// The intervals of a capture's frames, in order.
std::vector<std::int64_t> FrameTimesOf(const Capture& capture);

/// A stutter is judged against the mean of up to this many frames before it.
constexpr std::size_t kStutterWindow = 30;

/// The histogram's buckets: [k * 0.25 ms, (k + 1) * 0.25 ms) for k = 0 ..
/// 399, covering 0 to 100 ms (a 500 fps frame falls in bucket 8, a 30 fps
/// one in bucket 133: fine enough at any common rate), then bucket 400 for
/// 100 ms and more.
constexpr std::int64_t kHistogramBucketNs = 250000;
constexpr std::size_t kHistogramBuckets = 401;

/// The fewest frames each figure needs. With fewer, a percentile q's rank
/// is the slowest frame itself (q needs 1 / (1 - q) frames), and a low
/// stands on less than one whole frame; such figures are still given, and
/// flagged.
constexpr std::size_t kFramesForP90 = 10;
constexpr std::size_t kFramesForP95 = 20;
constexpr std::size_t kFramesForPercent = 100;    ///< p99, the 1 % lows
constexpr std::size_t kFramesForPermille = 1000;  ///< p99.9, the 0.1 % lows
/// The jitter's p99 ranks the n - 1 differences, so it needs one more frame.
constexpr std::size_t kFramesForJitterP99 = kFramesForPercent + 1;

/// A figure that needs a number of frames.
struct Figure {
  double value = 0.0;
  bool fewFrames = false;  ///< the input had fewer frames than the figure needs
};

/// A low, in frames per second, by each of the three definitions. A rate
/// over a frame time of 0 ns is +infinity.
struct Lows {
  Figure percentile;
  Figure lowAverage;
  Figure integral;
};

/// What Summarize makes of a run of frame times.
struct FrameStats {
  /// Why there are no figures (then every other field is zero or empty):
  /// fewer than two frames, a negative frame time, frame times that add up
  /// to 0 or to more than kMaxTotalNs. Empty on success.
  std::string error;

  std::size_t frames = 0;
  std::int64_t totalNs = 0;  ///< sum of the frame times
  double averageFps = 0.0;   ///< 1e9 * frames / totalNs (exact while frames < 2^53 / 1e9)
  double meanMs = 0.0;       ///< totalNs / (1e6 * frames), exact likewise

  /// Nearest-rank percentiles of the frame time, in milliseconds (exact).
  /// p50 needs 2 frames, p90 and p95 kFramesForP90 and kFramesForP95.
  Figure p50Ms, p90Ms, p95Ms, p99Ms, p999Ms;

  Lows low1;   ///< kFramesForPercent frames
  Lows low01;  ///< kFramesForPermille frames

  std::size_t stutters = 0;   ///< how many frames are stutters
  double stutterShare = 0.0;  ///< their frame times over totalNs, 0 to 1 (exact)

  double jitterMeanMs = 0.0;  ///< mean of the n - 1 differences (exact)
  Figure jitterP99Ms;         ///< nearest-rank p99 of the differences (exact)

  /// Frames per bucket, kHistogramBuckets of them (see kHistogramBucketNs).
  std::vector<std::size_t> histogram;
};

/// The statistics of `frameNs`, in the order the frames were presented. It
/// costs less than one std::sort of the frame times: from 2^14 frames on,
/// three passes count the frames into buckets and rank only the few
/// buckets that hold a wanted rank (shorter runs, and values bunched beside
/// a far outlier, take std::nth_element on shrinking ranges of a copy), and
/// only the slowest 1 % is sorted. From 2^18 frames on, where there is more
/// than one core, each pass is shared with a second thread for its duration.
FrameStats Summarize(const std::vector<std::int64_t>& frameNs);

/// The positions of the stutters in `frameNs`, ascending. Empty for frame
/// times that Summarize would refuse.
std::vector<std::size_t> Stutters(const std::vector<std::int64_t>& frameNs);

/// One figure of a FrameStats by name, for tables and scripts.
struct NamedFigure {
  const char* key;    ///< "p99_ms", "low_1_integral_fps": a JSON key, units last
  const char* label;  ///< "1% low, integral (fps)": the same for people
  double value;
  bool fewFrames;
};

/// Every figure of `stats` but the histogram, in a fixed order: frames,
/// duration, average rate, percentiles, the 1 % lows, the 0.1 % lows,
/// stutters and jitter. Empty when `stats` holds an error.
std::vector<NamedFigure> Figures(const FrameStats& stats);

}  // namespace zel_analysis

#endif
