#include "ZelAnalysis/FramePlot.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "ZelAnalysis/FrameStats.h"
#include "csv.h"

namespace zel_analysis {

namespace {

constexpr double kNsPerMs = 1e6;
constexpr double kNsPerSecond = 1e9;
// Plots stay within what the statistics accept (kMaxTotalNs); beyond this,
// a bound is not a plot's.
constexpr double kLargestBound = 1e300;
constexpr double kSmallestSpan = 1e-300;
// The histogram's last fixed bucket starts here; above it frames are not told apart.
constexpr double kOpenBucketMs =
    static_cast<double>(kHistogramBuckets - 1) * static_cast<double>(kHistogramBucketNs) / kNsPerMs;
constexpr int kMaxBins = 80;

// 10^e by repeated exact steps: exact up to 10^22, and the same double on
// every platform beyond.
double PowerOfTen(int e) {
  double p = 1.0;
  for (int i = 0; i < e; ++i) p *= 10.0;
  return p;
}

// k * m * 10^e rounded once, so that a tick of 0.1 is the double nearest 0.1.
double Multiple(double k, int m, int e) {
  return e >= 0 ? k * m * PowerOfTen(e) : k * m / PowerOfTen(-e);
}

}  // namespace

Scale NiceScale(double low, double high, int maxTicks) {
  if (!(std::fabs(low) <= kLargestBound && std::fabs(high) <= kLargestBound)) {
    low = 0.0;
    high = 1.0;
  }
  if (!(high - low >= kSmallestSpan)) high = low + std::max(1.0, std::fabs(low));
  // Two ticks cannot always hold a range around 0.
  maxTicks = std::min(std::max(maxTicks, 3), 1000);
  // The exponent of the largest power of ten not above the span, then steps
  // from small enough for maxTicks ticks upwards; some step of at least the
  // span itself needs at most 3 ticks.
  const double span = high - low;
  int e = 0;
  while (PowerOfTen(e + 1) <= span && e < 400) ++e;
  while (PowerOfTen(-e) * span < 1.0 && e > -400) --e;
  for (int ticks = maxTicks; ticks >= 10; ticks /= 10) --e;
  Scale scale;
  for (--e;; ++e) {
    for (const int m : {1, 2, 5}) {
      const double step = Multiple(1.0, m, e);
      const double first = std::floor(low / step);
      const double count = std::ceil(high / step) - first + 1.0;
      if (count > maxTicks) continue;
      scale.step = step;
      scale.decimals = std::max(0, -e);
      for (int k = 0; k < static_cast<int>(count); ++k)
        scale.ticks.push_back(Multiple(first + k, m, e));
      scale.min = scale.ticks.front();
      scale.max = scale.ticks.back();
      return scale;
    }
  }
}

namespace {

// The points of `indices` (ascending), thinned when they are more than
// `perColumn` for each of `columns` columns of the time axis: then each
// column keeps its longest frame and, with two per column, its shortest too,
// in their order. Every spike stays visible.
std::vector<PlotPoint> Thinned(const std::vector<std::size_t>& indices,
                               const std::vector<PlotPoint>& points, std::size_t columns,
                               std::size_t perColumn, double axisS) {
  std::vector<PlotPoint> kept;
  if (indices.size() <= perColumn * columns) {
    for (const std::size_t i : indices) kept.push_back(points[i]);
    return kept;
  }
  const double columnS = axisS / static_cast<double>(columns);
  std::size_t begin = 0;
  while (begin < indices.size()) {
    const double column = std::floor(points[indices[begin]].x / columnS);
    std::size_t end = begin;
    std::size_t low = begin;
    std::size_t high = begin;
    for (; end < indices.size() && std::floor(points[indices[end]].x / columnS) == column; ++end) {
      if (points[indices[end]].y < points[indices[low]].y) low = end;
      if (points[indices[end]].y > points[indices[high]].y) high = end;
    }
    if (perColumn == 1) {
      kept.push_back(points[indices[high]]);
    } else {
      kept.push_back(points[indices[std::min(low, high)]]);
      if (low != high) kept.push_back(points[indices[std::max(low, high)]]);
    }
    begin = end;
  }
  return kept;
}

// Enough digits to tell frame times apart at any rate: 2 from 1 ms up.
std::string Milliseconds(double ms) { return csv::Fixed(ms, ms < 1.0 ? 3 : 2) + " ms"; }

std::string Legend(const std::string& name, const FrameStats& stats) {
  return name + ": " + std::to_string(stats.frames) + " frames, " +
         csv::Fixed(stats.averageFps, 1) + " fps, p50 " + Milliseconds(stats.p50Ms.value) +
         ", p99 " + Milliseconds(stats.p99Ms.value) +
         (stats.p99Ms.fewFrames ? " (few frames)" : "") + ", " + std::to_string(stats.stutters) +
         (stats.stutters == 1 ? " stutter" : " stutters");
}

}  // namespace

FramePlot MakeFramePlot(const std::string& title, const std::vector<PlotInput>& runs,
                        std::size_t columns) {
  FramePlot plot;
  plot.title = title;
  columns = std::max<std::size_t>(columns, 1);
  std::vector<FrameStats> stats;
  double longestS = 0.0;
  double slowestMs = 0.0;
  for (const PlotInput& run : runs) {
    stats.push_back(Summarize(run.frameNs));
    if (!stats.back().error.empty()) continue;
    longestS = std::max(longestS, static_cast<double>(stats.back().totalNs) / kNsPerSecond);
    const std::int64_t slowest = *std::max_element(run.frameNs.begin(), run.frameNs.end());
    slowestMs = std::max(slowestMs, static_cast<double>(slowest) / kNsPerMs);
  }
  plot.time = NiceScale(0.0, longestS, 11);
  plot.frameMs = NiceScale(0.0, slowestMs, 11);

  // Bins of whole fixed buckets up to where the buckets end; above that,
  // one open bin to the top of the scale.
  const double binnedMs = std::min(plot.frameMs.max, kOpenBucketMs);
  std::size_t perBin = 1;
  for (const std::size_t k : {1, 2, 4, 8, 10, 20}) {
    perBin = k;
    if (binnedMs <= static_cast<double>(kMaxBins * k) * 0.25) break;
  }
  plot.binMs = static_cast<double>(perBin * kHistogramBucketNs) / kNsPerMs;
  const auto closedBins = static_cast<std::size_t>(std::ceil(binnedMs / plot.binMs));
  const std::size_t bins = closedBins + (plot.frameMs.max > kOpenBucketMs ? 1 : 0);
  if (bins > closedBins) plot.openBinMs = kOpenBucketMs;

  double fullestBin = 0.0;
  for (std::size_t r = 0; r < runs.size(); ++r) {
    PlotSeries series;
    if (!stats[r].error.empty()) {
      series.legend = runs[r].name + ": " + stats[r].error;
      plot.series.push_back(series);
      continue;
    }
    const std::vector<std::int64_t>& frames = runs[r].frameNs;
    series.legend = Legend(runs[r].name, stats[r]);
    series.p50Ms = stats[r].p50Ms.value;
    series.p99Ms = stats[r].p99Ms.value;

    std::vector<PlotPoint> points;
    std::int64_t endNs = 0;
    for (const std::int64_t ft : frames) {
      endNs += ft;
      points.push_back(
          {static_cast<double>(endNs) / kNsPerSecond, static_cast<double>(ft) / kNsPerMs});
    }
    std::vector<std::size_t> all(frames.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    series.line = Thinned(all, points, columns, 2, plot.time.max);
    // Rings are wider than a line: a quarter as many columns for them.
    series.stutters =
        Thinned(Stutters(frames), points, std::max<std::size_t>(columns / 4, 1), 1, plot.time.max);

    series.histogram.assign(bins, 0.0);
    const auto frameCount = static_cast<double>(frames.size());
    for (std::size_t bucket = 0; bucket < kHistogramBuckets; ++bucket) {
      const std::size_t bin = std::min(bucket / perBin, bins - 1);
      series.histogram[bin] += 100.0 * static_cast<double>(stats[r].histogram[bucket]) / frameCount;
    }
    fullestBin =
        std::max(fullestBin, *std::max_element(series.histogram.begin(), series.histogram.end()));
    plot.series.push_back(series);
  }
  plot.share = NiceScale(0.0, fullestBin, 6);
  return plot;
}

namespace {

// The page, in SVG units: the time panel on the left, the histogram on the right.
constexpr double kWidth = 1100.0;
constexpr double kHeight = 560.0;
constexpr double kTimeLeft = 72.0;
constexpr double kTimeRight = 800.0;
constexpr double kBarsLeft = 830.0;
constexpr double kBarsRight = 1075.0;
constexpr double kBottom = 505.0;
constexpr double kLegendTop = 52.0;
constexpr double kLegendLine = 18.0;
constexpr const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                    "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string N(double value) { return csv::Fixed(value, 1); }

// Maps a value of `scale` onto [from, to] on the page.
struct Map {
  const Scale& scale;
  double from, to;
  double operator()(double v) const {
    return from + (v - scale.min) / (scale.max - scale.min) * (to - from);
  }
};

std::string Text(double x, double y, const std::string& anchor, const std::string& text,
                 const std::string& extra = "") {
  return "<text x='" + N(x) + "' y='" + N(y) + "' text-anchor='" + anchor + "'" + extra + ">" +
         Escaped(text) + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, const std::string& style) {
  return "<line x1='" + N(x1) + "' y1='" + N(y1) + "' x2='" + N(x2) + "' y2='" + N(y2) + "' " +
         style + "/>\n";
}

}  // namespace

std::string FramePlotSvg(const FramePlot& plot) {
  const double top = kLegendTop + kLegendLine * static_cast<double>(plot.series.size()) + 14.0;
  const Map x{plot.time, kTimeLeft, kTimeRight};
  const Map y{plot.frameMs, kBottom, top};
  const Map bar{plot.share, kBarsLeft, kBarsRight};
  std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='" + N(kWidth) + "' height='" +
                    N(kHeight) + "' viewBox='0 0 " + N(kWidth) + " " + N(kHeight) +
                    "' font-family='DejaVu Sans, Arial, sans-serif' font-size='12'>\n";
  svg += "<rect width='100%' height='100%' fill='white'/>\n";
  svg += "<clipPath id='bars'><rect x='" + N(kBarsLeft) + "' y='" + N(top) + "' width='" +
         N(kBarsRight - kBarsLeft) + "' height='" + N(kBottom - top) + "'/></clipPath>\n";
  svg += Text(kTimeLeft, 30.0, "start", plot.title, " font-size='18' font-weight='bold'");

  // The key to the marks, then one legend line per run.
  const std::string grey = "stroke='#555' stroke-width='1.5'";
  double kx = kBarsRight - 330.0;
  svg += Line(kx, 25.0, kx + 22.0, 25.0, grey) + Text(kx + 27.0, 29.0, "start", "frame time");
  kx += 100.0;
  svg += Line(kx, 25.0, kx + 22.0, 25.0, grey + " stroke-dasharray='6 4'") +
         Text(kx + 27.0, 29.0, "start", "p50");
  kx += 65.0;
  svg += Line(kx, 25.0, kx + 22.0, 25.0, grey + " stroke-dasharray='2 3'") +
         Text(kx + 27.0, 29.0, "start", "p99");
  kx += 65.0;
  svg += "<circle cx='" + N(kx + 11.0) + "' cy='25' r='4' fill='none' " + grey + "/>" +
         Text(kx + 27.0, 29.0, "start", "stutter");
  for (std::size_t s = 0; s < plot.series.size(); ++s) {
    const double ly = kLegendTop + kLegendLine * static_cast<double>(s);
    svg += "<rect x='" + N(kTimeLeft) + "' y='" + N(ly - 9.0) + "' width='14' height='10' fill='" +
           kColours[s % 8] + "'/>\n";
    svg += Text(kTimeLeft + 20.0, ly, "start", plot.series[s].legend);
  }

  // Grid, ticks and axis titles.
  const std::string grid = "stroke='#ddd' stroke-width='1'";
  const std::string axis = "stroke='#333' stroke-width='1'";
  for (const double t : plot.frameMs.ticks) {
    svg += Line(kTimeLeft, y(t), kTimeRight, y(t), grid) +
           Line(kBarsLeft, y(t), kBarsRight, y(t), grid);
    svg += Text(kTimeLeft - 6.0, y(t) + 4.0, "end", csv::Fixed(t, plot.frameMs.decimals));
  }
  for (const double t : plot.time.ticks) {
    svg += Line(x(t), top, x(t), kBottom, grid);
    svg += Text(x(t), kBottom + 17.0, "middle", csv::Fixed(t, plot.time.decimals));
  }
  for (const double t : plot.share.ticks) {
    svg += Line(bar(t), top, bar(t), kBottom, grid);
    svg += Text(bar(t), kBottom + 17.0, "middle", csv::Fixed(t, plot.share.decimals));
  }
  svg += "<rect x='" + N(kTimeLeft) + "' y='" + N(top) + "' width='" + N(kTimeRight - kTimeLeft) +
         "' height='" + N(kBottom - top) + "' fill='none' " + axis + "/>\n";
  svg += "<rect x='" + N(kBarsLeft) + "' y='" + N(top) + "' width='" + N(kBarsRight - kBarsLeft) +
         "' height='" + N(kBottom - top) + "' fill='none' " + axis + "/>\n";
  svg += Text((kTimeLeft + kTimeRight) / 2.0, kBottom + 38.0, "middle", "time (s)");
  svg += Text((kBarsLeft + kBarsRight) / 2.0, kBottom + 38.0, "middle", "frames (%)");
  const double midY = (top + kBottom) / 2.0;
  svg +=
      Text(22.0, midY, "middle", "frame time (ms)", " transform='rotate(-90 22 " + N(midY) + ")'");

  // The runs: histogram bars, then lines, then the marks on top.
  for (std::size_t s = 0; s < plot.series.size(); ++s) {
    const PlotSeries& series = plot.series[s];
    const std::string colour = kColours[s % 8];
    std::string path;
    const std::size_t bins = series.histogram.size();
    const bool open = plot.openBinMs > 0.0;
    for (std::size_t b = 0; b + (open ? 1 : 0) < bins; ++b) {
      if (series.histogram[b] <= 0.0) continue;
      const double low = static_cast<double>(b) * plot.binMs;
      path += "M" + N(kBarsLeft) + " " + N(y(low));
      path += "H" + N(bar(series.histogram[b])) + "V" + N(y(low + plot.binMs));
      path += "H" + N(kBarsLeft) + "Z";
    }
    if (!path.empty()) {
      svg += "<path clip-path='url(#bars)' fill-opacity='0.35' stroke-width='1' fill='" + colour;
      svg += "' stroke='" + colour + "' d='";
      svg += path;
      svg += "'/>\n";
    }
    // Frames past the fixed buckets, somewhere from their start to the top:
    // an outline over that whole range, and its share in words.
    if (open && series.histogram.back() > 0.0) {
      const double low = plot.openBinMs;
      const double right = bar(series.histogram.back());
      svg += "<rect x='" + N(kBarsLeft) + "' y='" + N(top) + "' width='" + N(right - kBarsLeft) +
             "' height='" + N(y(low) - top) + "' fill='none' stroke='" + colour +
             "' stroke-dasharray='4 3'/>\n";
      svg += Text(right + 4.0, y(low) - 6.0 - 14.0 * static_cast<double>(s), "start",
                  csv::Fixed(series.histogram.back(), 1) + "% at " + csv::Fixed(low, 0) + "+ ms",
                  " fill='" + colour + "'");
    }
  }
  for (std::size_t s = 0; s < plot.series.size(); ++s) {
    const PlotSeries& series = plot.series[s];
    if (series.line.empty()) continue;
    const std::string colour = kColours[s % 8];
    // Steps: each frame's level from the end of the one before to its own end.
    std::string path = "M" + N(x(0.0)) + " " + N(y(series.line.front().y));
    for (const PlotPoint& p : series.line) {
      path += "V" + N(y(p.y));
      path += "H" + N(x(p.x));
    }
    svg +=
        "<path fill='none' stroke='" + colour + "' stroke-width='1.2' stroke-linejoin='round' d='";
    svg += path;
    svg += "'/>\n";
  }
  for (std::size_t s = 0; s < plot.series.size(); ++s) {
    const PlotSeries& series = plot.series[s];
    if (series.line.empty()) continue;
    const std::string stroke = std::string("stroke='") + kColours[s % 8] + "' stroke-width='1.5'";
    svg += Line(kTimeLeft, y(series.p50Ms), kTimeRight, y(series.p50Ms),
                stroke + " stroke-dasharray='6 4'");
    svg += Line(kTimeLeft, y(series.p99Ms), kTimeRight, y(series.p99Ms),
                stroke + " stroke-dasharray='2 3'");
    for (const PlotPoint& p : series.stutters) {
      svg += "<circle cx='" + N(x(p.x)) + "' cy='" + N(y(p.y)) + "' r='4.5' fill='none' " + stroke +
             "/>\n";
    }
  }
  return svg + "</svg>\n";
}

}  // namespace zel_analysis
