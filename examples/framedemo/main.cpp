// zel-framedemo: draws a small animated scene in a loop, meters every frame
// with CZelFrameRate, and reports what the meter saw.
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelAnalysis/FrameStats.h>
#include <ZelTimers.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "options.h"
#include "pacer.h"
#include "scene.h"
#include "terminal.h"

namespace {

using framedemo::Canvas;
using framedemo::Options;
using framedemo::Pacer;
using zel_analysis::FrameStats;
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

// The statistics of a meter history in milliseconds (floats, as the meter
// keeps them); an error when it holds fewer than two samples.
FrameStats SummarizeMs(const std::vector<double>& ms) {
  const zel_analysis::FrameTimes times = zel_analysis::FrameTimesFromMs(ms);
  if (times.error.empty()) return zel_analysis::Summarize(times.ns);
  FrameStats refused;
  refused.error = times.error;
  return refused;
}

// "[  2.0 s]   60.0 fps | frame ms: p50 16.667 p99 16.912 | draw ms: mean
// 0.041 p50 0.038 p99 0.095", over the meter's histories. A frame rate below
// zero (the meter has not seen two swaps yet) prints as "n/a", and so do
// histories too short for statistics.
std::string StatusLine(double seconds, CZelFrameRate& meter) {
  const float fps = meter.GetFrameRate();
  std::vector<double> swapMs;
  for (const float s : meter.GetSwapHistory()) swapMs.push_back(1000.0 * s);
  const std::vector<float> drawHistory = meter.GetDrawHistory();
  const FrameStats swaps = SummarizeMs(swapMs);
  const FrameStats draws = SummarizeMs(std::vector<double>(drawHistory.begin(), drawHistory.end()));
  char line[256];
  int n = fps < 0.0f ? std::snprintf(line, sizeof line, "[%5.1f s] %7s fps", seconds, "n/a")
                     : std::snprintf(line, sizeof line, "[%5.1f s] %7.1f fps", seconds, fps);
  n += swaps.error.empty()
           ? std::snprintf(line + n, sizeof line - n, " | frame ms: p50 %.3f p99 %.3f",
                           swaps.p50Ms.value, swaps.p99Ms.value)
           : std::snprintf(line + n, sizeof line - n, " | frame ms: n/a");
  if (draws.error.empty()) {
    std::snprintf(line + n, sizeof line - n, " | draw ms: mean %.3f p50 %.3f p99 %.3f",
                  draws.meanMs, draws.p50Ms.value, draws.p99Ms.value);
  } else {
    std::snprintf(line + n, sizeof line - n, " | draw ms: n/a");
  }
  return line;
}

// A figure as "%.*f", marked * when it had fewer frames than it needs.
std::string Figure(const zel_analysis::Figure& figure, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f%s", digits, figure.value, figure.fewFrames ? "*" : "");
  return text;
}

// The histogram's non-empty range, its fixed buckets merged so that it
// takes at most 12 lines, "   16.50 -  16.75 |##########   178", and the
// open bucket of the slowest frames on a line of its own.
std::string HistogramText(const FrameStats& stats) {
  const std::vector<std::size_t>& counts = stats.histogram;
  const std::size_t open = counts.size() - 1;
  const auto used = [](std::size_t c) { return c > 0; };
  const auto first =
      static_cast<std::size_t>(std::find_if(counts.begin(), counts.end(), used) - counts.begin());
  const std::size_t last =
      open - static_cast<std::size_t>(std::find_if(counts.rbegin() + 1, counts.rend(), used) -
                                      counts.rbegin() - 1);
  std::vector<std::pair<std::size_t, std::size_t>> bins;  // first bucket, frames
  const std::size_t merge = first < open ? (last - first) / 12 + 1 : 1;
  for (std::size_t b = first; b < open && b <= last; ++b) {
    if ((b - first) % merge == 0) bins.emplace_back(b, 0);
    bins.back().second += counts[b];
  }
  if (counts[open] > 0) bins.emplace_back(open, counts[open]);
  std::size_t fullest = 0;
  for (const auto& bin : bins) fullest = std::max(fullest, bin.second);
  const double bucketMs = static_cast<double>(zel_analysis::kHistogramBucketNs) / 1e6;
  std::string text;
  for (const auto& [bucket, frames] : bins) {
    const std::size_t bar = frames == 0 ? 0 : std::max<std::size_t>(1, frames * 40 / fullest);
    char line[128];
    if (bucket == open) {
      std::snprintf(line, sizeof line, "  %7.2f +         |",
                    static_cast<double>(bucket) * bucketMs);
    } else {
      std::snprintf(line, sizeof line, "  %7.2f - %7.2f |", static_cast<double>(bucket) * bucketMs,
                    static_cast<double>(std::min(bucket + merge, open)) * bucketMs);
    }
    text +=
        line + std::string(bar, '#') + std::string(41 - bar, ' ') + std::to_string(frames) + "\n";
  }
  return text;
}

void PrintSummary(const std::string& runTime, long frames, long late, const Pacer* pacer,
                  double runSeconds, CZelFrameRate& meter,
                  const std::vector<zel_analysis::Frame>& recorded) {
  const float fps = meter.GetFrameRate();
  std::printf("summary\n");
  std::printf("  run time: %s\n", runTime.c_str());
  std::printf("  frames: %ld\n", frames);
  if (fps < 0.0f) {
    std::printf("  frame rate: n/a (fewer than two frames)\n");
  } else {
    std::printf("  frame rate: %.1f fps\n", fps);
  }
  if (pacer == nullptr) {
    std::printf("  late frames: n/a (uncapped)\n");
  } else {
    std::printf("  late frames: %ld of %ld (%.1f%%)\n", late, frames,
                frames > 0 ? 100.0 * static_cast<double>(late) / static_cast<double>(frames) : 0.0);
    std::printf("  %s\n", framedemo::PacingLine(pacer->Report(), runSeconds).c_str());
  }
  // The whole run, from the recorder's exact intervals.
  const FrameStats s = zel_analysis::Summarize(zel_analysis::FrameTimesOf({kProgram, recorded}));
  if (!s.error.empty()) {
    std::printf("  statistics: n/a (%s)\n", s.error.c_str());
    return;
  }
  std::printf("  frame time (ms): mean %.3f p50 %s p99 %s p99.9 %s\n", s.meanMs,
              Figure(s.p50Ms, 3).c_str(), Figure(s.p99Ms, 3).c_str(), Figure(s.p999Ms, 3).c_str());
  for (const auto& [name, low] :
       {std::pair<const char*, const zel_analysis::Lows&>{"1%", s.low1}, {"0.1%", s.low01}}) {
    std::printf("  %s low (fps): %s percentile, %s low average, %s integral\n", name,
                Figure(low.percentile, 1).c_str(), Figure(low.lowAverage, 1).c_str(),
                Figure(low.integral, 1).c_str());
  }
  std::printf("  stutters: %zu (%.2f%% of the time)\n", s.stutters, 100.0 * s.stutterShare);
  std::printf("  jitter (ms): mean %.3f p99 %s\n", s.jitterMeanMs,
              Figure(s.jitterP99Ms, 3).c_str());
  std::printf("  frame times (ms), all %zu frames:\n%s", s.frames, HistogramText(s).c_str());
  if (s.p999Ms.fewFrames) std::printf("  * fewer frames than the figure needs\n");
}

int Run(const Options& options) {
  const bool animated = framedemo::PrepareAnimatedOutput();
  std::signal(SIGINT, OnInterrupt);

  CZelFrameRate meter(options.history);
  // Every frame is recorded, for the summary and the capture. Room for the
  // whole run at the target rate (a second's worth more), so recording
  // allocates nothing in the loop; uncapped runs grow the buffer.
  const double expected = (options.fps > 0.0 ? options.fps : 1000.0) * (options.duration + 1.0);
  zel_analysis::FrameRecorder recorder(static_cast<std::size_t>(expected));
  Pacer pacer(options.fps, static_cast<std::size_t>(expected), options.plainSleep);
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

    if (pacer.Wait()) ++late;
    std::swap(front, back);
    if (animated) ShowInPlace(front, status, frames > 0);
    meter.SwapCallNotice();
    recorder.SwapCallNotice();

    const Clock::time_point shown = Clock::now();
    ++frames;

    if (shown >= nextStatus) {
      status = StatusLine(SecondsBetween(start, shown), meter);
      if (!animated) std::printf("%s\n", status.c_str());
      std::fflush(stdout);
      nextStatus += std::chrono::seconds(1);
      if (nextStatus <= shown) nextStatus = shown + std::chrono::seconds(1);
    }
  }

  const std::string runTime = runTimer.ReportElapsed(CZelTimer::eAutomatic);
  const double runSeconds = runTimer.Elapsed(CZelTimer::eSeconds);
  if (animated) std::fputs("\x1b[?25h", stdout);
  PrintSummary(runTime, frames, late, options.fps > 0.0 ? &pacer : nullptr, runSeconds, meter,
               recorder.Frames());
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
