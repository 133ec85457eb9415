// The demo's computations, apart from its loop: options, pacing and the
// scene. Its statistics are the analysis library's.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "options.h"
#include "pacer.h"
#include "scene.h"

namespace {

using framedemo::Canvas;
using framedemo::ParseOptions;

TEST(Options, ReadsBothFormsAndEveryOption) {
  const auto result = ParseOptions(
      {"--fps", "0", "--duration=0.5", "--history", "7", "--load=2.5", "--wait=sleep"});
  ASSERT_EQ(result.error, "");
  EXPECT_TRUE(result.options.plainSleep);
  EXPECT_FALSE(ParseOptions({"--wait", "pacer"}).options.plainSleep);
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
      {{"--wait", "spin"}, "--wait"},
  };
  for (const auto& c : cases) {
    const auto result = ParseOptions(c.args);
    EXPECT_NE(result.error.find(c.named), std::string::npos) << c.args[0] << ": " << result.error;
    EXPECT_EQ(result.error.find('\n'), std::string::npos);
  }
}

TEST(Pacer, ReportsNearestRankLatenessAndTheShareOfTheRun) {
  std::vector<std::int64_t> lateNs;
  for (std::int64_t us = 200; us >= 1; --us) lateNs.push_back(us * 1000);
  const framedemo::PacingReport report = framedemo::SummarizePacing(lateNs, 25000000);
  EXPECT_EQ(report.p50Ns, 100000);
  EXPECT_EQ(report.p99Ns, 198000);
  EXPECT_EQ(report.maxNs, 200000);
  EXPECT_EQ(framedemo::PacingLine(report, 5.0),
            "pacing: late (us) p50 100.0 p99 198.0 max 200.0 | CPU 25.0 ms (0.50% of 5.0 s)");
  EXPECT_EQ(framedemo::SummarizePacing({7}, 0).p99Ns, 7);
  EXPECT_EQ(framedemo::SummarizePacing({}, 0).maxNs, 0);
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

}  // namespace
