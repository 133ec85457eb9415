#include "ZelAnalysis/FramePlot.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "ZelAnalysis/FrameStats.h"
#include "ZelAnalysis/Text.h"
#include "csv.h"

namespace zel_analysis {

namespace {

constexpr double kNsPerMs = 1e6;
constexpr double kNsPerSecond = 1e9;
// Plots stay within what the statistics accept (kMaxTotalNs); beyond this,
// a bound is not a plot's.
constexpr double kLargestBound = 1e300;
constexpr double kSmallestSpan = 1e-300;
constexpr std::int64_t kMaxBins = 200;

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

// Of `points` (in order of x), at most one per column of `columnX`: the
// one with the largest y, so every spike stays visible.
std::vector<PlotPoint> Thinned(const std::vector<PlotPoint>& points, double columnX) {
  std::vector<PlotPoint> kept;
  for (const PlotPoint& p : points) {
    if (!kept.empty() && std::floor(kept.back().x / columnX) == std::floor(p.x / columnX)) {
      if (p.y > kept.back().y) kept.back() = p;
    } else {
      kept.push_back(p);
    }
  }
  return kept;
}

// Enough digits to tell frame times apart at any rate: 2 from 1 ms up.
std::string Milliseconds(double ms) { return csv::Fixed(ms, ms < 1.0 ? 3 : 2) + " ms"; }

// `name` of at most `limit` code points: its start and end around a "…".
std::string ShortName(const std::string& name, std::size_t limit) {
  std::vector<std::size_t> starts;  // where each code point begins
  for (std::size_t i = 0; i < name.size(); ++i)
    if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) starts.push_back(i);
  if (starts.size() <= limit) return name;
  const std::size_t head = (limit - 1) / 2;
  const std::size_t tail = limit - 1 - head;
  return name.substr(0, starts[head]) + "\xE2\x80\xA6" + name.substr(starts[starts.size() - tail]);
}

std::string Legend(const std::string& name, const FrameStats& stats, bool brief) {
  return name + ": " + (brief ? "" : std::to_string(stats.frames) + " frames, ") +
         csv::Fixed(stats.averageFps, 1) + " fps, p50 " + Milliseconds(stats.p50Ms.value) +
         ", p99 " + Milliseconds(stats.p99Ms.value) +
         (stats.p99Ms.fewFrames ? " (few frames)" : "") + ", " + std::to_string(stats.stutters) +
         (stats.stutters == 1 ? " stutter" : " stutters");
}

// The median of `frames` by nearest rank; reorders them.
std::int64_t Median(std::vector<std::int64_t>& frames) {
  const auto middle = frames.begin() + static_cast<std::ptrdiff_t>((frames.size() + 1) / 2 - 1);
  std::nth_element(frames.begin(), middle, frames.end());
  return *middle;
}

// The envelope of `frames` over `columns` columns of `columnX` each.
std::vector<PlotColumn> Band(const std::vector<std::int64_t>& frames, double nsPerUnit,
                             std::size_t columns, double columnX) {
  std::vector<PlotColumn> band;
  std::vector<std::int64_t> inColumn;
  const auto flush = [&](std::size_t column) {
    const auto [low, high] = std::minmax_element(inColumn.begin(), inColumn.end());
    const double lowMs = static_cast<double>(*low) / kNsPerMs;
    const double highMs = static_cast<double>(*high) / kNsPerMs;
    const double typicalMs = static_cast<double>(Median(inColumn)) / kNsPerMs;
    band.push_back({static_cast<double>(column) * columnX,
                    static_cast<double>(column + 1) * columnX, lowMs, typicalMs, highMs});
  };
  std::size_t current = 0;
  std::int64_t endNs = 0;
  for (const std::int64_t ft : frames) {
    endNs += ft;
    const auto column = std::min(
        static_cast<std::size_t>(static_cast<double>(endNs) / nsPerUnit / columnX), columns - 1);
    if (column != current) {
      if (!inColumn.empty()) flush(current++);
      // Columns in which no frame ends lie wholly inside this one.
      for (inColumn.assign(1, ft); current < column; ++current) flush(current);
    } else {
      inColumn.push_back(ft);
    }
  }
  if (!inColumn.empty()) flush(current);
  return band;
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
  double largestP99Ms = 0.0;
  for (const PlotInput& run : runs) {
    stats.push_back(run.stats != nullptr ? *run.stats : Summarize(run.frameNs));
    if (!stats.back().error.empty()) continue;
    longestS = std::max(longestS, static_cast<double>(stats.back().totalNs) / kNsPerSecond);
    const std::int64_t slowest = *std::max_element(run.frameNs.begin(), run.frameNs.end());
    slowestMs = std::max(slowestMs, static_cast<double>(slowest) / kNsPerMs);
    largestP99Ms = std::max(largestP99Ms, stats.back().p99Ms.value);
  }
  if (longestS >= 36000.0) {
    plot.timeUnit = "h";
    plot.secondsPerUnit = 3600.0;
  } else if (longestS >= 600.0) {
    plot.timeUnit = "min";
    plot.secondsPerUnit = 60.0;
  }
  plot.time = NiceScale(0.0, longestS / plot.secondsPerUnit, 11);
  plot.frameMs = NiceScale(0.0, std::min(slowestMs, kCeilingOverP99 * largestP99Ms), 11);
  // Frame times are whole nanoseconds; so, rounded, is the top they are
  // compared with.
  const auto topNs = static_cast<std::int64_t>(std::llround(plot.frameMs.max * kNsPerMs));

  std::int64_t binNs = kHistogramBucketNs;
  for (std::int64_t power = 1; topNs > kMaxBins * binNs; power *= 10) {
    for (const std::int64_t m : {1, 2, 4}) {
      binNs = kHistogramBucketNs * m * power;
      if (topNs <= kMaxBins * binNs) break;
    }
  }
  plot.binMs = static_cast<double>(binNs) / kNsPerMs;
  const auto bins = static_cast<std::size_t>((topNs + binNs - 1) / binNs);

  const bool brief = runs.size() > 8;  // two columns of legend
  const std::size_t names = brief ? 28 : kLegendNameChars;
  const double nsPerUnit = kNsPerSecond * plot.secondsPerUnit;
  const double columnX = plot.time.max / static_cast<double>(columns);
  const double markX = columnX * 4.0;  // rings and marks are wider than a line
  double fullestBin = 0.0;
  for (std::size_t r = 0; r < runs.size(); ++r) {
    PlotSeries series;
    const std::string name = ShortName(runs[r].name, names);
    if (!stats[r].error.empty()) {
      series.legend = name + ": " + stats[r].error;
      plot.series.push_back(series);
      continue;
    }
    const std::vector<std::int64_t>& frames = runs[r].frameNs;
    series.legend = Legend(name, stats[r], brief);
    series.p50Ms = stats[r].p50Ms.value;
    series.p99Ms = stats[r].p99Ms.value;

    const std::vector<std::size_t> stutters = Stutters(frames);
    std::vector<PlotPoint> stutterPoints;
    std::vector<PlotPoint> clipped;
    std::vector<std::size_t> counts(bins, 0);
    std::size_t above = 0;
    std::int64_t endNs = 0;
    auto nextStutter = stutters.begin();
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const std::int64_t ft = frames[i];
      endNs += ft;
      const PlotPoint point{static_cast<double>(endNs) / nsPerUnit,
                            static_cast<double>(ft) / kNsPerMs};
      if (frames.size() <= columns) series.line.push_back(point);
      if (nextStutter != stutters.end() && *nextStutter == i) {
        stutterPoints.push_back(point);
        ++nextStutter;
      }
      if (ft > topNs) {
        clipped.push_back(point);
        ++above;
      } else {
        ++counts[std::min(static_cast<std::size_t>(ft / binNs), bins - 1)];
      }
    }
    if (frames.size() > columns) series.band = Band(frames, nsPerUnit, columns, columnX);
    series.stutters = Thinned(stutterPoints, markX);
    series.clipped = Thinned(clipped, markX);

    const auto frameCount = static_cast<double>(frames.size());
    for (const std::size_t count : counts)
      series.histogram.push_back(100.0 * static_cast<double>(count) / frameCount);
    series.aboveShare = 100.0 * static_cast<double>(above) / frameCount;
    series.aboveFrames = above;
    fullestBin =
        std::max(fullestBin, *std::max_element(series.histogram.begin(), series.histogram.end()));
    plot.series.push_back(series);
  }
  plot.share = NiceScale(0.0, fullestBin, 6);
  return plot;
}

namespace {

// The page, in SVG units: the time panel on the left, the histogram on the
// right, both of a fixed size; the legend below them makes the page longer.
constexpr double kWidth = 1100.0;
constexpr double kTimeLeft = 72.0;
constexpr double kTimeRight = 800.0;
constexpr double kBarsLeft = 830.0;
constexpr double kBarsRight = 1075.0;
constexpr double kTop = 52.0;
constexpr double kBottom = 452.0;
constexpr double kLegendTop = kBottom + 66.0;
constexpr double kLegendLine = 18.0;
constexpr double kLegendColumn = 520.0;
constexpr std::size_t kLegendRowsInOneColumn = 8;
// Twenty colours, then the same again with dashes: every run tells apart.
constexpr const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                    "#8c564b", "#e377c2", "#17becf", "#7f7f7f", "#bcbd22",
                                    "#393b79", "#ad494a", "#637939", "#7b4173", "#8c6d31",
                                    "#6baed6", "#fd8d3c", "#74c476", "#9e9ac8", "#e7969c"};
constexpr std::size_t kColourCount = sizeof kColours / sizeof kColours[0];
constexpr const char* kDashes[] = {"", " stroke-dasharray='8 3'", " stroke-dasharray='2 2'",
                                   " stroke-dasharray='8 2 2 2'"};

std::string Colour(std::size_t s) { return kColours[s % kColourCount]; }
std::string Dash(std::size_t s) { return kDashes[s / kColourCount % 4]; }

// Text as XML accepts it: Printable, and the markup characters escaped.
std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : Printable(text)) {
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
      case '\'':
        out += "&apos;";
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

std::string Rect(double x, double y, double width, double height, const std::string& style) {
  return "<rect x='" + N(x) + "' y='" + N(y) + "' width='" + N(width) + "' height='" + N(height) +
         "' " + style + "/>\n";
}

// A path of steps in whole units (a column is about one): each level held
// to an x, with the moves that go nowhere left out, so that a long run
// stays a small file.
class Steps {
public:
  Steps(double x, double y) : d_("M" + csv::Fixed(x, 0) + " " + csv::Fixed(y, 0)), y_(Whole(y)) {}
  void To(double y, double x) {
    if (Whole(y) != y_) {
      d_ += along_ + "V" + csv::Fixed(y, 0);
      y_ = Whole(y);
    }
    along_ = "H" + csv::Fixed(x, 0);
  }
  std::string D() const { return d_ + along_; }

private:
  static double Whole(double v) { return std::round(v); }
  std::string d_;
  double y_;
  std::string along_;
};

std::string Path(const std::string& d, const std::string& style) {
  return "<path " + style + " d='" + d + "'/>\n";
}

}  // namespace

std::string FramePlotSvg(const FramePlot& plot) {
  const std::size_t runs = plot.series.size();
  const std::size_t legendColumns = runs > kLegendRowsInOneColumn ? 2 : 1;
  const std::size_t legendRows = (runs + legendColumns - 1) / legendColumns;
  const double height = kLegendTop + kLegendLine * static_cast<double>(legendRows) + 6.0;
  const Map x{plot.time, kTimeLeft, kTimeRight};
  const Map y{plot.frameMs, kBottom, kTop};
  const Map bar{plot.share, kBarsLeft, kBarsRight};
  std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='" + N(kWidth) + "' height='" +
                    N(height) + "' viewBox='0 0 " + N(kWidth) + " " + N(height) +
                    "' font-family='DejaVu Sans, Arial, sans-serif' font-size='12'>\n";
  svg += "<rect width='100%' height='100%' fill='white'/>\n";
  svg += "<clipPath id='time'>" +
         Rect(kTimeLeft, kTop, kTimeRight - kTimeLeft, kBottom - kTop, "") + "</clipPath>\n";
  svg += "<clipPath id='bars'>" +
         Rect(kBarsLeft, kTop, kBarsRight - kBarsLeft, kBottom - kTop, "") + "</clipPath>\n";
  svg += Text(kTimeLeft, 30.0, "start", plot.title, " font-size='18' font-weight='bold'");

  // The key to the marks.
  const std::string grey = "stroke='#555' stroke-width='1.5'";
  double kx = kBarsRight - 400.0;
  svg += Rect(kx, 19.0, 22.0, 12.0, "fill='#555' fill-opacity='0.25'") +
         Line(kx, 25.0, kx + 22.0, 25.0, grey) + Text(kx + 27.0, 29.0, "start", "frame time");
  kx += 100.0;
  svg += Line(kx, 25.0, kx + 22.0, 25.0, grey + " stroke-dasharray='6 4'") +
         Text(kx + 27.0, 29.0, "start", "p50");
  kx += 60.0;
  svg += Line(kx, 25.0, kx + 22.0, 25.0, grey + " stroke-dasharray='2 3'") +
         Text(kx + 27.0, 29.0, "start", "p99");
  kx += 60.0;
  svg += "<circle cx='" + N(kx + 11.0) + "' cy='25' r='4' fill='none' " + grey + "/>" +
         Text(kx + 20.0, 29.0, "start", "stutter");
  kx += 75.0;
  svg += "<path d='M" + N(kx + 5.0) + " 20l5 9h-10z' fill='#555'/>" +
         Text(kx + 15.0, 29.0, "start", "off scale");

  // Grid, ticks and axis titles.
  const std::string grid = "stroke='#ddd' stroke-width='1'";
  const std::string axis = "fill='none' stroke='#333' stroke-width='1'";
  for (const double t : plot.frameMs.ticks) {
    svg += Line(kTimeLeft, y(t), kTimeRight, y(t), grid) +
           Line(kBarsLeft, y(t), kBarsRight, y(t), grid);
    svg += Text(kTimeLeft - 6.0, y(t) + 4.0, "end", csv::Fixed(t, plot.frameMs.decimals));
  }
  for (const double t : plot.time.ticks) {
    svg += Line(x(t), kTop, x(t), kBottom, grid);
    svg += Text(x(t), kBottom + 17.0, "middle", csv::Fixed(t, plot.time.decimals));
  }
  for (const double t : plot.share.ticks) {
    svg += Line(bar(t), kTop, bar(t), kBottom, grid);
    svg += Text(bar(t), kBottom + 17.0, "middle", csv::Fixed(t, plot.share.decimals));
  }
  svg += Rect(kTimeLeft, kTop, kTimeRight - kTimeLeft, kBottom - kTop, axis);
  svg += Rect(kBarsLeft, kTop, kBarsRight - kBarsLeft, kBottom - kTop, axis);
  svg += Text((kTimeLeft + kTimeRight) / 2.0, kBottom + 38.0, "middle",
              "time (" + plot.timeUnit + ")");
  svg += Text((kBarsLeft + kBarsRight) / 2.0, kBottom + 38.0, "middle", "frames (%)");
  const double midY = (kTop + kBottom) / 2.0;
  svg +=
      Text(22.0, midY, "middle", "frame time (ms)", " transform='rotate(-90 22 " + N(midY) + ")'");

  // Histograms: filled while few enough to see through, outlines beyond.
  const std::string fill = runs <= 3 ? "fill-opacity='0.3'" : "fill-opacity='0'";
  double aboveY = kTop + 14.0;
  for (std::size_t s = 0; s < runs; ++s) {
    const PlotSeries& series = plot.series[s];
    std::string d;
    for (std::size_t b = 0; b < series.histogram.size(); ++b) {
      if (series.histogram[b] <= 0.0) continue;
      const double low = static_cast<double>(b) * plot.binMs;
      d += "M" + N(kBarsLeft) + " " + N(y(low)) + "H" + N(bar(series.histogram[b])) + "V" +
           N(y(std::min(low + plot.binMs, plot.frameMs.max))) + "H" + N(kBarsLeft) + "Z";
    }
    if (!d.empty()) {
      svg += Path(d, "clip-path='url(#bars)' " + fill + " stroke-width='1' fill='" + Colour(s) +
                         "' stroke='" + Colour(s) + "'" + Dash(s));
    }
    // What lies above the scale, in words at the top, while there is room.
    if (series.aboveFrames > 0 && aboveY < kBottom) {
      svg += Text(kBarsRight - 4.0, aboveY, "end",
                  "\xE2\x96\xB2 " + std::to_string(series.aboveFrames) +
                      (series.aboveFrames == 1 ? " frame" : " frames") + " above " +
                      csv::Fixed(plot.frameMs.max, plot.frameMs.decimals) + " ms",
                  " fill='" + Colour(s) + "'");
      aboveY += 14.0;
    }
  }

  // The runs' frames: envelopes first, then the lines through them.
  const double bandOpacity =
      std::max(0.08, 0.3 / static_cast<double>(std::max<std::size_t>(runs, 1)));
  for (std::size_t s = 0; s < runs; ++s) {
    const std::vector<PlotColumn>& band = plot.series[s].band;
    if (band.empty()) continue;
    Steps edge(x(band.front().startX), y(band.front().highMs));
    for (const PlotColumn& c : band) edge.To(y(c.highMs), x(c.endX));
    for (auto c = band.rbegin(); c != band.rend(); ++c) edge.To(y(c->lowMs), x(c->startX));
    const std::string d = edge.D();
    svg += Path(d + "Z", "clip-path='url(#time)' stroke='none' fill='" + Colour(s) +
                             "' fill-opacity='" + csv::Fixed(bandOpacity, 2) + "'");
  }
  for (std::size_t s = 0; s < runs; ++s) {
    const PlotSeries& series = plot.series[s];
    // Steps: each frame's (or column's) level over the time it covers.
    std::string d;
    if (!series.line.empty()) {
      Steps steps(x(0.0), y(series.line.front().y));
      for (const PlotPoint& p : series.line) steps.To(y(p.y), x(p.x));
      d = steps.D();
    } else if (!series.band.empty()) {
      Steps steps(x(series.band.front().startX), y(series.band.front().typicalMs));
      for (const PlotColumn& c : series.band) steps.To(y(c.typicalMs), x(c.endX));
      d = steps.D();
    }
    if (d.empty()) continue;
    svg += Path(d, "clip-path='url(#time)' fill='none' stroke='" + Colour(s) +
                       "' stroke-width='1.2' stroke-linejoin='round'" + Dash(s));
  }

  // On top: percentile lines, stutters, and the frames off the scale.
  for (std::size_t s = 0; s < runs; ++s) {
    const PlotSeries& series = plot.series[s];
    if (series.line.empty() && series.band.empty()) continue;
    const std::string stroke = "stroke='" + Colour(s) + "' stroke-width='1.5'";
    // Across the panel for a few runs; for many, a stub at its right edge.
    const double from = legendColumns > 1 ? kTimeRight - 40.0 : kTimeLeft;
    svg += Line(from, y(series.p50Ms), kTimeRight, y(series.p50Ms),
                stroke + " stroke-dasharray='6 4'");
    svg += Line(from, y(series.p99Ms), kTimeRight, y(series.p99Ms),
                stroke + " stroke-dasharray='2 3'");
    for (const PlotPoint& p : series.stutters) {
      if (p.y > plot.frameMs.max) continue;  // marked below instead
      svg += "<circle cx='" + N(x(p.x)) + "' cy='" + N(y(p.y)) + "' r='4.5' fill='none' " + stroke +
             "/>\n";
    }
    const PlotPoint* slowest = nullptr;
    for (const PlotPoint& p : series.clipped) {
      svg += "<path d='M" + N(x(p.x)) + " " + N(kTop - 1.0) + "l5 9h-10z' fill='" + Colour(s) +
             "'/>\n";
      if (slowest == nullptr || p.y > slowest->y) slowest = &p;
    }
    if (slowest != nullptr) {
      const bool right = x(slowest->x) < (kTimeLeft + kTimeRight) / 2.0;
      svg += Text(x(slowest->x) + (right ? 8.0 : -8.0), kTop + 10.0, right ? "start" : "end",
                  Milliseconds(slowest->y), " fill='" + Colour(s) + "'");
    }
  }

  // The legend: one line per run, in two columns beyond a few runs.
  for (std::size_t s = 0; s < runs; ++s) {
    const std::size_t column = s / legendRows;
    const double lx = kTimeLeft + kLegendColumn * static_cast<double>(column);
    const double ly = kLegendTop + kLegendLine * static_cast<double>(s % legendRows);
    if (!plot.series[s].band.empty()) {
      svg += Rect(lx, ly - 10.0, 22.0, 12.0,
                  "fill='" + Colour(s) + "' fill-opacity='" + csv::Fixed(bandOpacity, 2) + "'");
    }
    svg += Line(lx, ly - 4.0, lx + 22.0, ly - 4.0,
                "stroke='" + Colour(s) + "' stroke-width='2'" + Dash(s));
    svg += Text(lx + 28.0, ly, "start", plot.series[s].legend,
                legendColumns > 1 ? " font-size='11'" : "");
  }
  return svg + "</svg>\n";
}

}  // namespace zel_analysis
