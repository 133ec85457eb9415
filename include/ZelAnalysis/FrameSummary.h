// ZelTimers analysis: mergeable summaries of frame times, for fleets.
//
// A summary holds what adds up across sessions: the frame count, the exact
// total time, the shortest and longest frame, and a histogram of frame
// times in nanoseconds laid out as an exponential histogram: at scale s the
// base is 2^(2^-s), and bucket i holds the frame times v with
// base^i < v <= base^(i + 1); frames of 0 ns are counted apart. Summaries
// merge by adding integers, in any order, to the same result; summaries of
// different scales merge at the coarser one (bucket i at scale s is bucket
// floor(i / 2^(s - c)) at the coarser scale c).
//
// Fleet figures (FleetStatsOf), for n frames in all, with frame times ft:
//  - exact, from the integer sums: frames, duration, average rate
//    1e9 * n / sum(ft) and mean frame time sum(ft) / (1e6 * n), each as
//    FrameStats computes them; the frames over 16.7 ms, 33.3 ms and 700 ms
//    (counted exactly as they are added), and the stutters, their time and
//    the mean jitter, which depend on the frames' order and are summed over
//    the sessions' own figures (see FrameStats.h for their definitions);
//  - estimated from the buckets: the percentiles p50 to p99.9 (nearest rank,
//    as FrameStats defines them) and the 1 % and 0.1 % lows in their
//    percentile and low-average forms. The frame at a rank is taken to be
//    its bucket's middle, (base^i + base^(i + 1)) / 2, rounded to whole
//    nanoseconds (halves up) and kept within [min, max]. Every estimated
//    figure is then within a relative error of (base - 1) / 2 of the exact
//    figure over every frame of every session (0.271 % at the default
//    scale 7), plus the rounding's half nanosecond.
//
// Limits: scales -10 to 7 (a finer summary read from elsewhere is made
// coarser to 7 first); frame times 0 to kMaxTotalNs; a summary's total time
// at most kMaxTotalNs and its counts below 2^63. Every operation that would
// pass a limit refuses and changes nothing.
#ifndef ZELANALYSIS_FRAMESUMMARY_H
#define ZELANALYSIS_FRAMESUMMARY_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FrameStats.h"

namespace zel_analysis {

constexpr int kSummaryMinScale = -10;
constexpr int kSummaryMaxScale = 7;
/// 0.271 % at most from a bucket's middle to any frame time in it.
constexpr int kSummaryDefaultScale = 7;

/// Frames longer than these count as slow (a 60 Hz frame is not, one of a
/// 30 Hz run is), very slow and frozen.
constexpr std::array<std::int64_t, 3> kSlowFrameNs = {16700000, 33300000, 700000000};

/// The mergeable summary of one session's frames, or of many sessions'.
struct FrameSummary {
  int scale = kSummaryDefaultScale;
  std::uint64_t sessions = 0;
  std::uint64_t frames = 0;  ///< every frame, the zero-length ones included
  std::int64_t totalNs = 0;  ///< sum of the frame times
  std::int64_t minNs = 0;    ///< 0 while there are no frames
  std::int64_t maxNs = 0;
  std::uint64_t zeroCount = 0;  ///< frames of 0 ns
  std::int32_t offset = 0;      ///< the bucket index of counts[0]
  /// Frames per bucket from `offset` on; neither end is zero (empty when
  /// every frame is zero-length).
  std::vector<std::uint64_t> counts;
  std::array<std::uint64_t, 3> over = {};  ///< frames longer than kSlowFrameNs[i]
  std::uint64_t stutters = 0;              ///< summed per session, as FrameStats counts them
  std::int64_t stutterNs = 0;              ///< their frame times
  std::int64_t jitterNs = 0;               ///< sum of |ft(i) - ft(i-1)| within each session
};

/// Adds frames to a summary of one session at a fixed cost: O(1) a frame,
/// and no allocation after construction (it holds every bucket up to
/// kMaxTotalNs, 58 KiB at scale 7). A render loop or a recorder can keep one.
class SummaryBuilder {
public:
  /// A scale outside kSummaryMinScale..kSummaryMaxScale is taken to the
  /// nearest end.
  explicit SummaryBuilder(int scale = kSummaryDefaultScale);

  /// Counts one frame. Refused (false, nothing changes) when negative or
  /// when the total time would pass kMaxTotalNs.
  bool Add(std::int64_t frameNs);

  /// The session so far, one session, with the empty buckets at both ends
  /// left out.
  FrameSummary Summary() const;

private:
  int scale_;
  std::vector<std::uint64_t> dense_;                   // bucket i at dense_[i + 1]
  FrameSummary totals_;                                // everything but the buckets
  std::array<std::int64_t, kStutterWindow> window_{};  // the last frames, 0 before the first
  std::size_t slot_ = 0;                               // where the next one goes
  std::int64_t windowNs_ = 0;                          // their sum
  std::int64_t previousNs_ = 0;
};

/// The bucket that holds frameNs (> 0) at `scale`, exactly.
std::int32_t BucketIndex(std::int64_t frameNs, int scale);

/// base^index at `scale` in nanoseconds, the same to the bit on every build.
double BucketLowerNs(std::int32_t index, int scale);

/// The estimate for bucket `index`: its middle, (BucketLowerNs(index) +
/// BucketLowerNs(index + 1)) / 2, rounded to whole nanoseconds, halves up;
/// 2^63 - 1 where it is larger (the coarsest scales' last buckets).
std::int64_t BucketMidNs(std::int32_t index, int scale);

/// The summary of a run of frame times (one session), or why there is
/// none: the reasons FrameStats refuses them (fewer than two frames among
/// them). Its stutters and jitter are Summarize's.
FrameSummary SummaryOf(const std::vector<std::int64_t>& frameNs, std::string& error);

/// Why `summary` is not one that this code could have made (bad scale,
/// counts that do not add up or overflow, an offset out of range, an empty
/// end bucket, min and max out of order), or "".
std::string CheckSummary(const FrameSummary& summary);

/// The same frames at a coarser scale (a finer one is refused).
bool Coarsen(FrameSummary& summary, int scale);

/// Adds `from` into `into`, at the coarser of the two scales. Refused
/// (false, `into` unchanged) when a sum would pass its limit.
bool Merge(FrameSummary& into, const FrameSummary& from);

/// A session's key: the SHA-256 of the summary's canonical text, as 64 hex
/// digits, so the same capture (or its summary file) stored twice is one
/// session. `sessions` is not part of it.
std::string SessionKey(const FrameSummary& summary);

/// The fleet's figures from a summary (see above). Percentiles and lows in
/// FrameStats' units.
struct FleetStats {
  std::string error;  ///< no frames, or fewer than two; empty on success
  std::uint64_t sessions = 0;
  std::uint64_t frames = 0;
  std::int64_t totalNs = 0;
  double averageFps = 0.0;
  double meanMs = 0.0;
  Figure p50Ms, p90Ms, p95Ms, p99Ms, p999Ms;
  Figure low1Percentile, low1LowAverage, low01Percentile, low01LowAverage;
  std::array<double, 3> overPercent = {};  ///< 100 * over[i] / frames
  std::uint64_t stutters = 0;
  double stutterShare = 0.0;  ///< stutterNs / totalNs
  double jitterMeanMs = 0.0;  ///< over the frames - sessions differences
  int scale = 0;
  double errorBound = 0.0;  ///< (base - 1) / 2
};

FleetStats FleetStatsOf(const FrameSummary& summary);

/// The figures of `stats` by name, with the keys Figures(FrameStats) uses
/// wherever the two share a figure, in the same order, then the ones only
/// a fleet has: "sessions", the three "over_..._percent" shares, "scale",
/// "error_bound".
std::vector<NamedFigure> Figures(const FleetStats& stats);

}  // namespace zel_analysis

#endif
