// ZelTimers analysis: a picture of one or more runs of frame times.
//
// MakeFramePlot works out everything a picture shows, in the data's own
// units: the scales with their ticks, each run's frames or their envelope,
// its p50 and p99, its stutters, the frames above the picture's top and its
// histogram. FramePlotSvg then only places them on a page. The picture:
// frame time (ms) against time on the left, with dashed p50 and dotted p99
// lines and a ring on every stutter; on the right, sharing the frame-time
// axis, each run's histogram as the share of its frames in each bin; below,
// a legend naming the runs. The axes keep their size for any number of runs:
// the page grows to hold the legend.
#ifndef ZELANALYSIS_FRAMEPLOT_H
#define ZELANALYSIS_FRAMEPLOT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FrameStats.h"

namespace zel_analysis {

/// An axis's range and the values marked on it.
struct Scale {
  double min = 0.0;
  double max = 1.0;
  double step = 1.0;          ///< between neighbouring ticks
  std::vector<double> ticks;  ///< min, min + step, ..., max
  int decimals = 0;           ///< what prints every tick exactly: 1 for steps of 0.5
};

/// The scale over [low, high] with the fewest ticks, no more than
/// `maxTicks` (taken as 3 to 1000), at multiples of a step of 1, 2 or 5
/// times a power of ten; its range is the multiples of the step just
/// outside [low, high]. Bounds that are not finite or beyond 1e300 in size
/// give [0, 1]; a high less than 1e-300 above low counts as low + max(1,
/// |low|). Each tick is k * step rounded once to the nearest double, so it
/// prints exactly with `decimals` digits.
Scale NiceScale(double low, double high, int maxTicks);

/// A point in the data's units.
struct PlotPoint {
  double x;
  double y;
};

/// One run of frame times, to be drawn.
struct PlotInput {
  std::string name;                   ///< for the legend, e.g. the file's name
  std::vector<std::int64_t> frameNs;  ///< frame times, in order
  /// Summarize(frameNs), when the caller has it already (it costs more
  /// than the rest of the picture); null to have it worked out.
  const FrameStats* stats = nullptr;
};

/// The frames of one column of the time axis, [startX, endX) in the time
/// scale's unit: those that end in it or, where none does, the one frame
/// that spans it.
struct PlotColumn {
  double startX;
  double endX;
  double lowMs;      ///< the shortest
  double typicalMs;  ///< the median (nearest rank, as FrameStats' p50)
  double highMs;     ///< the longest
};

/// What is drawn of one run.
struct PlotSeries {
  /// The name and the figures a reader wants first: "csgo.csv: 300 frames,
  /// 104.3 fps, p50 8.40 ms, p99 10.37 ms, 2 stutters"; or the name and why
  /// there is nothing to draw (then the rest is empty). A name longer than
  /// kLegendNameChars code points keeps its start and end around a "…".
  /// Beyond 8 runs, the legend's two columns hold less: names of up to 28
  /// code points and no frame count.
  std::string legend;
  /// A run of at most as many frames as the picture has columns: every
  /// frame as (end time, frame time in ms), drawn as steps.
  std::vector<PlotPoint> line;
  /// A longer run: its envelope, one entry per column of the time axis
  /// from the first to the one holding its end.
  std::vector<PlotColumn> band;
  /// The stutters, as (end time, ms); at most one per 4 columns (the
  /// longest), in order.
  std::vector<PlotPoint> stutters;
  /// Frames above the frame-time scale's maximum, likewise thinned: they
  /// are marked at the top edge, not drawn to scale.
  std::vector<PlotPoint> clipped;
  double p50Ms = 0.0;
  double p99Ms = 0.0;
  /// The share of the run's frames (%) in each bin of FramePlot::binMs,
  /// [k * binMs, (k + 1) * binMs), from 0 ms up to the frame-time scale's
  /// maximum; frames exactly at the maximum count in the last bin.
  std::vector<double> histogram;
  std::size_t aboveFrames = 0;  ///< how many frames are above the scale's maximum
  double aboveShare = 0.0;      ///< and their share of the run's frames (%)
};

/// Names in the legend are cut to this many code points.
constexpr std::size_t kLegendNameChars = 40;

/// The frame-time scale reaches the slowest frame of all runs, but no
/// higher than needed for this many times the largest p99: one frame of
/// 567 ms must not flatten runs of 8 ms frames into the baseline.
constexpr double kCeilingOverP99 = 6.0;

/// A whole picture, in the data's units.
struct FramePlot {
  std::string title;
  /// Time since each run began, in timeUnit: "s" up to 10 minutes, "min"
  /// up to 10 hours, "h" beyond; secondsPerUnit is 1, 60 or 3600.
  Scale time;
  std::string timeUnit = "s";
  double secondsPerUnit = 1.0;
  Scale frameMs;  ///< milliseconds, from 0 (see kCeilingOverP99)
  Scale share;    ///< % of a run's frames, from 0, for the histograms
  /// The histogram's bin width, 1, 2 or 4 times a power of ten of 0.25 ms
  /// (0.25, 0.5, 1, 2.5, 5, 10, 25 ... ms): the narrowest giving at most 200
  /// bins up to the frame-time scale's maximum.
  double binMs = 0.25;
  std::vector<PlotSeries> series;
};

/// The picture of `runs`, for a drawing `columns` wide (in pixels, say).
FramePlot MakeFramePlot(const std::string& title, const std::vector<PlotInput>& runs,
                        std::size_t columns = 720);

/// The picture as a stand-alone SVG document, 1100 units wide, drawn for
/// the default 720 columns; its height grows with the legend (one line per
/// run, in two columns above 8 runs). Any text is made valid: bytes that
/// are not UTF-8 and control characters print as U+FFFD.
std::string FramePlotSvg(const FramePlot& plot);

}  // namespace zel_analysis

#endif
