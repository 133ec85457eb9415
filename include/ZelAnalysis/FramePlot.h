// ZelTimers analysis: a picture of one or more runs of frame times.
//
// MakeFramePlot works out everything a picture shows, in the data's own
// units: the scales with their ticks, each run's points, its p50 and p99,
// its stutters and its histogram. FramePlotSvg then only places them on a
// page. The picture: frame time (ms) against time (s) on the left, with
// dashed p50 and dotted p99 lines and a ring on every stutter; on the right,
// sharing the frame-time axis, each run's histogram as the share of its
// frames in each bin; one colour per run, and a legend naming the runs.
#ifndef ZELANALYSIS_FRAMEPLOT_H
#define ZELANALYSIS_FRAMEPLOT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
};

/// What is drawn of one run.
struct PlotSeries {
  /// The name and the figures a reader wants first: "csgo.csv: 300 frames,
  /// 104.3 fps, p50 8.40 ms, p99 10.37 ms, 2 stutters"; or the name and why
  /// there is nothing to draw (then the rest is empty).
  std::string legend;
  /// (seconds since the run began, frame time in ms) of each frame, at the
  /// frame's end. A run of more than 2 frames per column keeps, for each
  /// column's share of the time, its shortest and its longest frame, in
  /// their order: every spike stays visible.
  std::vector<PlotPoint> line;
  std::vector<PlotPoint> stutters;  ///< the stutters, as points of the same kind
  double p50Ms = 0.0;
  double p99Ms = 0.0;
  /// The share of the run's frames (%) in each bin of FramePlot::binMs, from
  /// 0 ms up to the frame-time scale's maximum (frames at the maximum fall in
  /// the last), or up to FramePlot::openBinMs and then one bin above it.
  std::vector<double> histogram;
};

/// A whole picture, in the data's units.
struct FramePlot {
  std::string title;
  Scale time;     ///< seconds, from 0
  Scale frameMs;  ///< milliseconds, from 0
  Scale share;    ///< % of a run's frames, from 0, for the histograms
  /// The histogram's bin width: a whole number of the statistics' 0.25 ms
  /// buckets (0.25, 0.5, 1, 2, 2.5 or 5 ms), the narrowest giving at most 80
  /// bins up to the scale's maximum or 100 ms, whichever is lower.
  double binMs = 0.25;
  /// 100 ms when the scale reaches past the fixed buckets: the histograms'
  /// last bin then holds every frame from there up. 0 otherwise.
  double openBinMs = 0.0;
  std::vector<PlotSeries> series;
};

/// The picture of `runs`, for a drawing `columns` wide (in pixels, say).
FramePlot MakeFramePlot(const std::string& title, const std::vector<PlotInput>& runs,
                        std::size_t columns = 720);

/// The picture as a stand-alone SVG document, 1100 x 560 units, with the
/// line drawn `columns` wide as above.
std::string FramePlotSvg(const FramePlot& plot);

}  // namespace zel_analysis

#endif
