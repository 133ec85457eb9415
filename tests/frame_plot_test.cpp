// The plot's scales: fewest ticks within the limit, a range that covers the
// data, and ticks that print exactly. Then what the picture makes of runs at
// the edges: a frame far off the scale, bins at their edges, columns no frame
// ends in, long runs, many runs, and text no XML reader would take.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "ZelAnalysis/FramePlot.h"
#include "ZelAnalysis/Text.h"

namespace {

using namespace zel_analysis;
using Ns = std::vector<std::int64_t>;

TEST(FramePlot, NiceScales) {
  const struct {
    double low, high;
    int maxTicks;
    double min, max, step;
    int decimals;
  } cases[] = {
      {0.0, 10.564, 11, 0.0, 12.0, 2.0, 0},  // 1 ms steps would need 12 ticks
      {0.0, 2.532, 11, 0.0, 3.0, 0.5, 1},   {0.0, 567.25, 11, 0.0, 600.0, 100.0, 0},
      {0.0, 0.3, 4, 0.0, 0.3, 0.1, 1},      {-1.0, 1.0, 2, -1.0, 1.0, 1.0, 0},
      {7.0, 7.0, 5, 6.0, 14.0, 2.0, 0},     {NAN, 5.0, 5, 0.0, 1.0, 0.5, 1},
  };
  for (const auto& c : cases) {
    const Scale s = NiceScale(c.low, c.high, c.maxTicks);
    EXPECT_EQ(std::make_tuple(s.min, s.max, s.step, s.decimals),
              std::make_tuple(c.min, c.max, c.step, c.decimals))
        << c.low << " to " << c.high;
    ASSERT_EQ(s.ticks.size(), std::lround((c.max - c.min) / c.step) + 1);
    EXPECT_EQ(s.ticks.back(), c.max);  // each tick rounded once: 0.3, not 0.1 + 0.1 + 0.1
  }
}

TEST(FramePlot, OneSlowFrameIsMarkedAboveTheScale) {
  Ns hitch(2999, 8'000'000);
  hitch.insert(hitch.begin() + 1500, 567'000'000);
  // 6 x the p99 of 8 ms caps the scale at 48 ms, drawn to 50; a run whose
  // slowest frame is below the cap is drawn to that frame.
  const FramePlot capped = MakeFramePlot("", {{"a", hitch}});
  EXPECT_EQ(capped.frameMs.max, 50.0);
  ASSERT_EQ(capped.series[0].clipped.size(), 1u);
  EXPECT_EQ(capped.series[0].clipped[0].y, 567.0);
  EXPECT_EQ(capped.series[0].aboveShare, 100.0 / 3000);
  Ns calm(3000, 8'000'000);
  calm[10] = 38'000'000;
  EXPECT_EQ(MakeFramePlot("", {{"b", calm}}).frameMs.max, 40.0);
}

TEST(FramePlot, HistogramBinsAreHalfOpenUpToTheScalesTop) {
  // The scale is 0 to 1 ms: four bins of 0.25 ms; the top goes in the last.
  const FramePlot plot = MakeFramePlot("", {{"a", {249'999, 250'000, 999'999, 1'000'000}}});
  EXPECT_EQ(plot.binMs, 0.25);
  EXPECT_EQ(plot.series[0].histogram, (std::vector<double>{25.0, 25.0, 0.0, 50.0}));
}

TEST(FramePlot, LongRunsAreDrawnAsTheirColumnsEnvelope) {
  // 21 ms on a 25 ms axis of 4 columns of 6.25 ms: frames of 1, 3 and 2 ms
  // end in the first, 14 ms spans the next two and ends in the last, with
  // 1 ms: the lower of two is their median by nearest rank.
  const FramePlot plot =
      MakeFramePlot("", {{"a", {1'000'000, 3'000'000, 2'000'000, 14'000'000, 1'000'000}}}, 4);
  const std::vector<PlotColumn>& band = plot.series[0].band;
  ASSERT_EQ(band.size(), 4u);
  const std::tuple<double, double, double> want[] = {
      {1.0, 2.0, 3.0}, {14.0, 14.0, 14.0}, {14.0, 14.0, 14.0}, {1.0, 1.0, 14.0}};
  for (std::size_t c = 0; c < 4; ++c)
    EXPECT_EQ(std::make_tuple(band[c].lowMs, band[c].typicalMs, band[c].highMs), want[c]) << c;
  EXPECT_EQ(band[3].startX, 3 * (0.025 / 4));
}

TEST(FramePlot, LongRunsAreTimedInMinutesOrHours) {
  const struct {
    std::int64_t seconds;
    const char* unit;
    double max;
  } cases[] = {{599, "s", 600.0}, {600, "min", 10.0}, {36000, "h", 10.0}};
  for (const auto& c : cases) {
    const std::int64_t half = c.seconds * 500'000'000;
    const FramePlot plot = MakeFramePlot("", {{"a", {half, half}}});
    EXPECT_EQ(plot.timeUnit, c.unit) << c.seconds;
    EXPECT_EQ(plot.time.max, c.max) << c.seconds;
  }
}

TEST(FramePlot, LegendNamesAreCutBetweenCharacters) {
  std::string accents;
  for (int i = 0; i < 50; ++i) accents += "\xC3\xA9";  // é
  // Nine runs make a two-column legend: 28 code points (13, "…", 14), no
  // frame count.
  const std::vector<PlotInput> runs(9, PlotInput{accents, Ns(100, 8'000'000)});
  const std::string legend = MakeFramePlot("", runs).series[0].legend;
  EXPECT_EQ(legend.substr(0, legend.find(':')),
            accents.substr(0, 26) + "\xE2\x80\xA6" + accents.substr(0, 28));
  EXPECT_EQ(legend.find("frames"), std::string::npos);
}

TEST(FramePlot, SvgTextIsValidXmlWhateverTheNames) {
  const std::string svg = FramePlotSvg(MakeFramePlot("a\x01<b>\xFF", {{"r", Ns(100, 8'000'000)}}));
  EXPECT_NE(svg.find("a\xEF\xBF\xBD&lt;b&gt;\xEF\xBF\xBD"), std::string::npos);
}

TEST(Text, ValidUtf8ReplacesEachByteOutsideAWellFormedSequence) {
  const std::string bad = "\xEF\xBF\xBD";
  const struct {
    std::string in, out;
  } cases[] = {
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAE", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAE"},
      {"\x80", bad},
      {"\xC0\xAF", bad + bad},                      // overlong
      {"\xE0\x9F\xBF", bad + bad + bad},            // overlong
      {"\xED\xA0\x80", bad + bad + bad},            // a surrogate
      {"\xF4\x90\x80\x80", bad + bad + bad + bad},  // above U+10FFFF
      {"\xE2\x82", bad + bad},                      // cut short
      {"\xEF\xBF\xBE", bad + bad + bad},            // U+FFFE
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},     // U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
}

}  // namespace
