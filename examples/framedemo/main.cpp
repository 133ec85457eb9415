// zel-framedemo: draws a small animated scene in a loop, meters every frame
// with CZelFrameRate, and reports what the meter saw.
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelTimers.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "options.h"
#include "pacer.h"
#include "scene.h"
#include "stats.h"
#include "terminal.h"

namespace {

using framedemo::Canvas;
using framedemo::Options;
using framedemo::Pacer;
using framedemo::Summarize;
using Clock = std::chrono::steady_clock;

constexpr const char* kProgram = "zel-framedemo";
constexpr int kSceneWidth = 64;
constexpr int kSceneHeight = 12;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) { g_interrupted = 1; }

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Stands in for an expensive scene: spins rather than sleeps, so the time
// shows up as drawing work.
void BusyWait(double milliseconds) {
  const auto until = Clock::now() + std::chrono::round<Clock::duration>(
                                        std::chrono::duration<double, std::milli>(milliseconds));
  while (Clock::now() < until) {
  }
}

// Shows the front buffer with the status line under it, over the previous
// frame. ANSI: cursor up over the old frame, clear to the end of each line.
void ShowInPlace(const Canvas& front, const std::string& status, bool overwrite) {
  std::string out;
  if (overwrite) out += "\r\x1b[" + std::to_string(front.Height() + 1) + "A";
  out += front.Text();
  out += status + "\x1b[K\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

void PrintSummary(const std::string& runTime, long frames, long late, bool paced,
                  CZelFrameRate& meter) {
  const float fps = meter.GetFrameRate();
  const std::vector<float> frameMs = framedemo::Scaled(meter.GetSwapHistory(), 1000.0f);
  std::printf("summary\n");
  std::printf("  run time: %s\n", runTime.c_str());
  std::printf("  frames: %ld\n", frames);
  if (fps < 0.0f) {
    std::printf("  frame rate: n/a (fewer than two frames)\n");
  } else {
    std::printf("  frame rate: %.1f fps\n", fps);
  }
  if (!paced) {
    std::printf("  late frames: n/a (uncapped)\n");
  } else {
    std::printf("  late frames: %ld of %ld (%.1f%%)\n", late, frames,
                frames > 0 ? 100.0 * static_cast<double>(late) / static_cast<double>(frames) : 0.0);
  }
  if (!frameMs.empty()) {
    std::printf("  frame times, last %s frames (ms):\n%s", std::to_string(frameMs.size()).c_str(),
                framedemo::Histogram(frameMs, 8, 40).c_str());
  }
}

int Run(const Options& options) {
  const bool animated = framedemo::PrepareAnimatedOutput();
  std::signal(SIGINT, OnInterrupt);

  CZelFrameRate meter(options.history);
  // Room for the whole run at the target rate (a second's worth more), so
  // recording allocates nothing in the loop; uncapped runs grow the buffer.
  const double expected = (options.fps > 0.0 ? options.fps : 1000.0) * (options.duration + 1.0);
  zel_analysis::FrameRecorder recorder(
      options.capture.empty() ? 0 : static_cast<std::size_t>(expected));
  Pacer pacer(options.fps);
  Canvas back(kSceneWidth, kSceneHeight);
  Canvas front(kSceneWidth, kSceneHeight);
  std::string status = "[  0.0 s] measuring...";
  long frames = 0;
  long late = 0;

  CZelWallTimer runTimer;
  runTimer.Start();
  const Clock::time_point start = Clock::now();
  const Clock::time_point end =
      start + std::chrono::round<Clock::duration>(std::chrono::duration<double>(options.duration));
  Clock::time_point nextStatus = start + std::chrono::seconds(1);
  pacer.Begin(start);
  if (animated) std::fputs("\x1b[?25l", stdout);

  while (g_interrupted == 0) {
    const Clock::time_point frameStart = Clock::now();
    if (frameStart >= end) break;

    meter.FrameDrawStartNotice();
    recorder.FrameDrawStartNotice();
    framedemo::DrawScene(SecondsBetween(start, frameStart), back);
    if (options.extraLoad > 0.0) BusyWait(options.extraLoad);
    meter.FrameDrawEndNotice();
    recorder.FrameDrawEndNotice();

    std::this_thread::sleep_until(pacer.Deadline());
    std::swap(front, back);
    if (animated) ShowInPlace(front, status, frames > 0);
    meter.SwapCallNotice();
    recorder.SwapCallNotice();

    const Clock::time_point shown = Clock::now();
    if (pacer.Shown(shown)) ++late;
    ++frames;

    if (shown >= nextStatus) {
      const auto swapMs = Summarize(framedemo::Scaled(meter.GetSwapHistory(), 1000.0f));
      status = framedemo::StatusLine(SecondsBetween(start, shown), meter.GetFrameRate(),
                                     Summarize(meter.GetDrawHistory()), swapMs);
      if (!animated) std::printf("%s\n", status.c_str());
      std::fflush(stdout);
      nextStatus += std::chrono::seconds(1);
      if (nextStatus <= shown) nextStatus = shown + std::chrono::seconds(1);
    }
  }

  const std::string runTime = runTimer.ReportElapsed(CZelTimer::eAutomatic);
  if (animated) std::fputs("\x1b[?25h", stdout);
  PrintSummary(runTime, frames, late, options.fps > 0.0, meter);
  if (!options.capture.empty()) {
    zel_analysis::CaptureFormat format = zel_analysis::CaptureFormat::kPresentMon;
    zel_analysis::FormatFromName(options.format, format);
    const zel_analysis::Capture capture{kProgram, recorder.Frames()};
    const std::string error = zel_analysis::WriteCaptureFile(options.capture, capture, format);
    if (!error.empty()) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      return 1;
    }
    std::printf("  capture: %zu frames in %s (%s)\n", capture.frames.size(),
                options.capture.c_str(), options.format.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const framedemo::ParseResult parsed = framedemo::ParseOptions(args);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, parsed.error.c_str());
    return 2;
  }
  if (parsed.help) {
    std::fputs(framedemo::Usage(kProgram).c_str(), stdout);
    return 0;
  }
  return Run(parsed.options);
}
