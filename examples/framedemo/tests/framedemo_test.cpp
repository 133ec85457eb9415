// The demo's computations, apart from its loop: options, pacing and the
// scene. Its statistics are the analysis library's.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "options.h"
#include "pacer.h"
#include "scene.h"

namespace {

using framedemo::Canvas;
using framedemo::Pacer;
using framedemo::ParseOptions;
using std::chrono::milliseconds;

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

}  // namespace
