// The ImGui frame panel: the view it makes of the histories, and one render
// in a headless ImGui context (default font, no window, no back end) fed by
// a meter over the scripted counter. Its own executable: it counts heap
// allocations with a replaced global operator new.
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelImGui/FramePanel.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ZelFrameRate.h"
#include "allocation_counter.h"
#include "counter/scripted_counter.h"

namespace {

using zel_imgui::FramePanel;

std::vector<float> Frames(std::size_t count, float seconds) {
  return std::vector<float>(count, seconds);
}

// The texts and the graph's range for runs a person would look at.
TEST(FramePanel, ViewOfTypicalRuns) {
  std::vector<float> twoGroups = Frames(100, 0.0035f);  // slow, then as many fast
  twoGroups.resize(200, 0.001f);
  std::vector<float> hitch = Frames(200, 1.0f / 60.0f);
  hitch[151] = 0.1f;  // the second of its point's two frames
  const struct {
    const char* name;
    std::vector<float> swaps;
    double targetFps;
    const char* fps;
    const char* frameMs;
    const char* p99Ms;
    const char* low1Fps;
    float topMs;
    float targetMs;
    const char* clipped;
    std::size_t stutters;
  } cases[] = {
      {"60 fps, too few for p99", Frames(50, 1.0f / 60.0f), 60.0, "60.0", "16.67", "--", "--",
       25.0f, 1000.0f / 60.0f, "", 0},
      {"uncapped, target far above", Frames(200, 0.0005f), 60.0, "2000", "0.500", "0.500", "2000",
       1.0f, 0.0f, "", 0},
      {"half the frames slow", twoGroups, 0.0, "444", "1.00", "3.50", "286", 5.0f, 0.0f, "", 0},
      {"a 100 ms hitch", hitch, 0.0, "58.5", "16.67", "16.67", "17.1", 25.0f, 0.0f, "100.0 ms", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FramePanel panel(240);
    panel.Refresh(c.swaps, {2.0f, 4.0f}, c.targetFps);
    const zel_imgui::FramePanelView& view = panel.View();
    EXPECT_STREQ(view.fps, c.fps);
    EXPECT_STREQ(view.frameMs, c.frameMs);
    EXPECT_STREQ(view.p99Ms, c.p99Ms);
    EXPECT_STREQ(view.low1Fps, c.low1Fps);
    EXPECT_STREQ(view.drawMs, "4.00");
    EXPECT_STREQ(view.drawMeanMs, "3.00");
    EXPECT_EQ(view.topMs, c.topMs);
    EXPECT_FLOAT_EQ(view.targetMs, c.targetMs);
    EXPECT_STREQ(view.clippedText, c.clipped);
    EXPECT_EQ(view.stutters, c.stutters);
    // Ordinary frames sit well inside the graph, at neither edge.
    EXPECT_GT(view.heights.front(), 0.4f);
    EXPECT_LT(view.heights.front(), 0.8f);
    // Long histories are drawn as the longest frame of each group, so a
    // clipped hitch still reaches the top.
    EXPECT_EQ(view.heights.size(), std::min(c.swaps.size(), zel_imgui::kGraphPoints));
    EXPECT_EQ(*std::max_element(view.heights.begin(), view.heights.end()) == 1.0f,
              c.clipped[0] != '\0');
    EXPECT_EQ(std::count(view.marked.begin(), view.marked.end(), 1), c.stutters);
  }
  // A figure with too few frames says so instead of showing a number; only
  // the newest draw times, as many as frames shown, make the mean.
  FramePanel panel(240);
  std::vector<float> draws(300, 1.0f);
  std::fill(draws.begin(), draws.begin() + 60, 100.0f);
  panel.Refresh(Frames(99, 0.01f), draws, 0.0);
  EXPECT_STREQ(panel.View().drawMeanMs, "1.00");
  EXPECT_STREQ(panel.View().low1Fps, "--");
  EXPECT_NE(std::strstr(panel.View().figures, "p99 --"), nullptr);
  EXPECT_NE(std::strstr(panel.View().figures, "(needs 100 frames)"), nullptr);

  // A NaN or negative interval counts as 0 ns; an absurd one leaves no figures.
  std::vector<float> odd = Frames(5, 0.01f);
  odd.push_back(std::nanf(""));
  odd.push_back(-1.0f);
  panel.Refresh(odd, {}, 0.0);
  EXPECT_STREQ(panel.View().fps, "140");
  EXPECT_STREQ(panel.View().frameMs, "0.000");
  odd.push_back(3e38f);
  panel.Refresh(odd, {}, 0.0);
  EXPECT_STREQ(panel.View().fps, "--");
  EXPECT_TRUE(panel.View().heights.empty());
}

// Only the newest frames count, the clipped one is marked, and the
// histogram holds every frame shown.
TEST(FramePanel, ShowsTheNewestFramesOnly) {
  std::vector<float> swaps = Frames(10, 0.1f);  // older, slower: left out
  const std::vector<float> recent = Frames(120, 0.002f);
  swaps.insert(swaps.end(), recent.begin(), recent.end());
  swaps.back() = 0.05f;
  FramePanel panel(120);
  panel.Refresh(swaps, {}, 0.0);
  const zel_imgui::FramePanelView& view = panel.View();
  EXPECT_EQ(view.frames, 120u);
  EXPECT_STREQ(view.topText, "5 ms");
  EXPECT_STREQ(view.midText, "2.5");
  EXPECT_EQ(view.heights.back(), 1.0f);
  EXPECT_EQ(view.marked.back(), 1);
  EXPECT_EQ(view.marked.front(), 0);
  float total = 0.0f;
  for (const float bin : view.histogram) total += bin;
  EXPECT_EQ(total, 120.0f);
  EXPECT_EQ(view.histogram[16], 119.0f);  // 2 ms of 5, in 40 bins
  EXPECT_EQ(view.histogram.back(), 1.0f);

  // A stutter inside the range is marked where it is.
  std::vector<float> stutter = Frames(120, 0.002f);
  stutter[60] = 0.0055f;
  panel.Refresh(stutter, {}, 0.0);
  EXPECT_EQ(panel.View().marked[60], 1);
  EXPECT_EQ(std::count(view.marked.begin(), view.marked.end(), 1), 1);
}

// A clock the recorder reads: 1 ms steps, so a frame of three notices
// draws for 1 ms and swaps 3 ms after the last.
std::int64_t stepNs = 0;
std::int64_t SteppedClock() { return stepNs += 1000000; }

// From a recording: its newest frames and their draw times (the recorder
// gives a frame with no draw notices 0 ms).
TEST(FramePanel, FromARecording) {
  stepNs = 0;
  zel_analysis::FrameRecorder recorder(0, SteppedClock);
  for (int frame = 0; frame < 150; ++frame) {
    recorder.FrameDrawStartNotice();
    recorder.FrameDrawEndNotice();
    recorder.SwapCallNotice();
  }
  recorder.SwapCallNotice();  // a frame with no draw: 1 ms
  FramePanel panel(120);
  panel.Refresh(recorder, 0.0);
  const zel_imgui::FramePanelView& view = panel.View();
  EXPECT_EQ(view.frames, 120u);
  EXPECT_STREQ(view.frameMs, "1.00");
  EXPECT_STREQ(view.drawMs, "0.000");
  EXPECT_STREQ(view.drawMeanMs, "0.992");  // 119 of 1 ms and one of 0 over 120
  EXPECT_STREQ(view.fps, "335");           // 120 frames in 119 x 3 + 1 ms
}

std::string logged;

void Capture(void*, const char* text) { logged = text; }

// Steps the scripted counter: `drawMs` between the draw notices, `frameMs`
// from swap to swap.
void MeteredFrame(CZelFrameRate& meter, std::int64_t drawUs, std::int64_t frameUs) {
  meter.FrameDrawStartNotice();
  zel_scripted::Advance(drawUs * 1000);
  meter.FrameDrawEndNotice();
  zel_scripted::Advance((frameUs - drawUs) * 1000);
  meter.SwapCallNotice();
}

// A meter over the scripted counter, drawn in a headless ImGui frame: the
// text lines appear as drawn, and frames between refreshes allocate nothing.
TEST(FramePanel, HeadlessRenderFromAMeter) {
  zel_scripted::Restore();
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(640.0f, 480.0f);
  io.DeltaTime = 1.0f / 50.0f;
  io.IniFilename = nullptr;
  io.SetClipboardTextFn = Capture;
  unsigned char* pixels = nullptr;
  int width = 0;
  int height = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);

  CZelFrameRate meter(120);
  FramePanel panel(120);
  const zel_imgui::FramePanelOptions options{50.0, false, true, 0.25};
  long long between = 0;
  int due = 0;
  for (int frame = 0; frame < 200; ++frame) {
    MeteredFrame(meter, 2000, 20000);
    ImGui::NewFrame();
    ImGui::Begin("Frames");
    if (frame == 199) ImGui::LogToClipboard();
    const long long before = allocations;
    const bool refresh = panel.RefreshDue(options.refreshSeconds);
    if (refresh) panel.Refresh(meter, options.targetFps);
    panel.Draw(options);
    due += refresh ? 1 : 0;
    if (frame > 150 && !refresh) between += allocations - before;
    if (frame == 199) ImGui::LogFinish();
    ImGui::End();
    ImGui::Render();
  }
  EXPECT_EQ(due, 16) << "200 frames of 20 ms, a refresh every 0.25 s";
  EXPECT_EQ(between, 0) << "frames between refreshes allocate nothing";
  EXPECT_GT(ImGui::GetDrawData()->TotalVtxCount, 500);  // the texts and the graph
  EXPECT_STREQ(panel.View().headline, "50.0 fps  20.00 ms");
  EXPECT_STREQ(panel.View().compact, "50.0 fps  20.00 ms  p99 20.00  draw 2.00 ms");
  EXPECT_NE(logged.find("draw 2.00 ms  mean 2.00 ms"), std::string::npos) << logged;
  EXPECT_NE(logged.find("p99 20.00 ms  1% low 50.0 fps"), std::string::npos) << logged;
  EXPECT_NE(logged.find("120 frames, 0 stutters"), std::string::npos) << logged;
  ImGui::DestroyContext();
}

}  // namespace
