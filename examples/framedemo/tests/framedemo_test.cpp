// The demo's computations, apart from its loop: options, statistics,
// histogram, pacing and the scene.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "options.h"
#include "pacer.h"
#include "scene.h"
#include "stats.h"

namespace {

using framedemo::Canvas;
using framedemo::Pacer;
using framedemo::ParseOptions;
using framedemo::Summarize;
using std::chrono::milliseconds;

TEST(Options, DefaultsAreThreeSecondsAtSixtyFps) {
  const auto result = ParseOptions({});
  EXPECT_TRUE(result.error.empty());
  EXPECT_FALSE(result.help);
  EXPECT_EQ(result.options.fps, 60.0);
  EXPECT_EQ(result.options.duration, 3.0);
  EXPECT_EQ(result.options.history, 120);
  EXPECT_EQ(result.options.extraLoad, 0.0);
}

TEST(Options, ReadsBothFormsAndEveryOption) {
  const auto result =
      ParseOptions({"--fps", "0", "--duration=0.5", "--history", "7", "--load=2.5"});
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.options.fps, 0.0);
  EXPECT_EQ(result.options.duration, 0.5);
  EXPECT_EQ(result.options.history, 7);
  EXPECT_EQ(result.options.extraLoad, 2.5);
  EXPECT_TRUE(ParseOptions({"--fps", "30", "--help"}).help);
}

TEST(Options, RejectsBadInputNamingTheOption) {
  const struct {
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {{"--fps", "fast"}, "--fps"},        {{"--fps", "60x"}, "--fps"},
      {{"--fps", " 60"}, "--fps"},         {{"--fps", "nan"}, "--fps"},
      {{"--fps", "1001"}, "--fps"},        {{"--fps", "-5"}, "--fps"},
      {{"--duration", "0"}, "--duration"}, {{"--duration="}, "--duration"},
      {{"--history", "0"}, "--history"},   {{"--history", "1.5"}, "--history"},
      {{"--history"}, "--history"},        {{"--load", "1e4"}, "--load"},
      {{"--frames", "3"}, "--frames"},     {{"-x"}, "-x"},
  };
  for (const auto& c : cases) {
    const auto result = ParseOptions(c.args);
    EXPECT_NE(result.error.find(c.named), std::string::npos) << c.args[0] << ": " << result.error;
    EXPECT_EQ(result.error.find('\n'), std::string::npos);
  }
}

TEST(Summary, MeanMedianAndNearestRankP99) {
  std::vector<float> hundred;
  for (int i = 100; i >= 1; --i) hundred.push_back(static_cast<float>(i));
  const auto s = Summarize(hundred);
  EXPECT_EQ(s.count, 100u);
  EXPECT_DOUBLE_EQ(s.mean, 50.5);
  EXPECT_DOUBLE_EQ(s.median, 50.5);
  EXPECT_DOUBLE_EQ(s.p99, 99.0);
  EXPECT_DOUBLE_EQ(s.min, 1.0);
  EXPECT_DOUBLE_EQ(s.max, 100.0);

  // With fewer than 100 samples the 99th percentile is the largest.
  const auto odd = Summarize({3.0f, 1.0f, 2.0f, 40.0f, 5.0f});
  EXPECT_DOUBLE_EQ(odd.median, 3.0);
  EXPECT_DOUBLE_EQ(odd.p99, 40.0);
  EXPECT_DOUBLE_EQ(odd.mean, 10.2);

  EXPECT_EQ(Summarize({}).count, 0u);
  EXPECT_DOUBLE_EQ(Summarize({}).p99, 0.0);
}

struct HistogramRow {
  double low, high;
  std::size_t bar, count;
};

std::vector<HistogramRow> ParseHistogram(const std::string& text) {
  std::vector<HistogramRow> rows;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    HistogramRow row{};
    char dash = 0, pipe = 0;
    std::istringstream fields(line);
    fields >> row.low >> dash >> row.high >> pipe;
    const std::string rest = line.substr(line.find('|') + 1);
    row.bar = rest.find_first_not_of('#');
    row.count = std::stoul(rest.substr(rest.find_last_of(' ') + 1));
    rows.push_back(row);
  }
  return rows;
}

TEST(Histogram, BinsCoverTheRangeAndBarsScaleToTheFullest) {
  // 10 samples at 16 ms, 5 at 17, 1 at 33 (a missed frame), 4 bins of 4.25 ms.
  std::vector<float> samples(10, 16.0f);
  samples.insert(samples.end(), 5, 17.0f);
  samples.push_back(33.0f);
  const auto rows = ParseHistogram(framedemo::Histogram(samples, 4, 20));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_DOUBLE_EQ(rows.front().low, 16.0);
  EXPECT_DOUBLE_EQ(rows.back().high, 33.0);
  const std::size_t counts[] = {15, 0, 0, 1};
  const std::size_t bars[] = {20, 0, 0, 1};  // a single sample still shows
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].count, counts[i]) << "bin " << i;
    EXPECT_EQ(rows[i].bar, bars[i]) << "bin " << i;
  }
}

TEST(Histogram, EqualSamplesMakeOneBinAndNoSamplesNothing) {
  const auto rows = ParseHistogram(framedemo::Histogram({5.0f, 5.0f, 5.0f}, 8, 10));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].count, 3u);
  EXPECT_EQ(rows[0].bar, 10u);
  EXPECT_EQ(framedemo::Histogram({}, 8, 10), "");
}

TEST(Pacer, DeadlinesStayOnTheGridWhateverTheJitter) {
  Pacer pacer(100.0);  // 10 ms
  const Pacer::Clock::time_point t0{};
  pacer.Begin(t0);
  const int jitterMs[] = {0, 3, 1, 4, 2, 0, 4};
  for (int frame = 0; frame < 7; ++frame) {
    EXPECT_EQ(pacer.Deadline(), t0 + milliseconds(10 * frame));
    EXPECT_FALSE(pacer.Shown(pacer.Deadline() + milliseconds(jitterMs[frame])));
  }
}

TEST(Pacer, LateFramesAreCountedAndAFarMissRestartsTheGrid) {
  Pacer pacer(100.0);
  const Pacer::Clock::time_point t0{};
  pacer.Begin(t0);
  EXPECT_TRUE(pacer.Shown(t0 + milliseconds(6)));  // over half a period late
  EXPECT_EQ(pacer.Deadline(), t0 + milliseconds(10));
  EXPECT_TRUE(pacer.Shown(t0 + milliseconds(35)));  // 25 ms late: restart from there
  EXPECT_EQ(pacer.Deadline(), t0 + milliseconds(45));
  EXPECT_FALSE(pacer.Shown(t0 + milliseconds(45)));

  Pacer uncapped(0.0);
  uncapped.Begin(t0);
  EXPECT_FALSE(uncapped.Shown(t0 + milliseconds(500)));
  EXPECT_EQ(uncapped.Deadline(), t0 + milliseconds(500));
}

TEST(Scene, OneBallInsideTheCanvasAtEveryMoment) {
  for (const auto& size : {std::pair<int, int>{64, 12}, {7, 3}, {1, 1}}) {
    Canvas canvas(size.first, size.second);
    for (int step = 0; step < 241; ++step) {
      const double t = -3.0 + 0.137 * step;
      framedemo::DrawScene(t, canvas);
      const std::string text = canvas.Text();
      ASSERT_EQ(text.size(), static_cast<std::size_t>((size.first + 1) * size.second));
      const auto ball = text.find('O');
      ASSERT_NE(ball, std::string::npos) << "t=" << t;
      EXPECT_EQ(text.find('O', ball + 1), std::string::npos) << "t=" << t;
    }
  }
}

TEST(Scene, TheBallMoves) {
  Canvas a(64, 12), b(64, 12);
  framedemo::DrawScene(0.0, a);
  framedemo::DrawScene(0.5, b);
  EXPECT_NE(a.Text().find('O'), b.Text().find('O'));
}

}  // namespace
