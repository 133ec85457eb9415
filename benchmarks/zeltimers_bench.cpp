// Cost per call of the library's timers and meter, each set beside its
// physical limit measured in the same run: the raw counter reads the call
// must make, or the plain loop it cannot beat. Prints the aggregates of the
// repetitions, then a table of ratios between the fastest repetitions.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "ZelAnalysis/FramePlot.h"
#include "ZelAnalysis/FrameRecorder.h"
#include "ZelAnalysis/FrameStats.h"
#include "ZelAnalysis/FrameSummary.h"
#include "ZelTimers.h"

namespace {

inline std::int64_t RawCounterRead() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void BM_RawCounterRead_x1(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(RawCounterRead());
}
BENCHMARK(BM_RawCounterRead_x1);

void BM_RawCounterRead_x2(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(RawCounterRead());
    benchmark::DoNotOptimize(RawCounterRead());
  }
}
BENCHMARK(BM_RawCounterRead_x2);

void BM_RawCounterRead_x4(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(RawCounterRead());
    benchmark::DoNotOptimize(RawCounterRead());
    benchmark::DoNotOptimize(RawCounterRead());
    benchmark::DoNotOptimize(RawCounterRead());
  }
}
BENCHMARK(BM_RawCounterRead_x4);

void BM_SteadyClockNow_x2(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::chrono::steady_clock::now());
    benchmark::DoNotOptimize(std::chrono::steady_clock::now());
  }
}
BENCHMARK(BM_SteadyClockNow_x2);

// The arithmetic a Start and a Stop must do on their two reads (divide by
// the frequency, truncate to seconds and nanoseconds, read the start back),
// written inline with no library call: what is left above the raw reads
// once the results must be exact whole nanoseconds.
struct Fields {
  std::int32_t seconds, nanos;
};

inline Fields Truncate(double v) {
  const auto seconds = static_cast<std::int32_t>(v);
  return {seconds, static_cast<std::int32_t>((v - static_cast<double>(seconds)) * 1e9)};
}

void BM_InlineStartStopArithmetic(benchmark::State& state) {
  const double frequency = 1e9;
  Fields start{}, elapsed{};
  for (auto _ : state) {
    start = Truncate(static_cast<double>(RawCounterRead()) / frequency);
    const double now = static_cast<double>(RawCounterRead()) / frequency;
    elapsed = Truncate(
        now - (static_cast<double>(start.nanos) * 1e-9 + static_cast<double>(start.seconds)));
    benchmark::DoNotOptimize(start);
    benchmark::DoNotOptimize(elapsed);
  }
}
BENCHMARK(BM_InlineStartStopArithmetic);

// The shortest chain that still gives the same bits, written inline: at
// 10^9 counts per second and below 2^24 s of uptime the whole seconds of
// count / 10^9 are the integer quotient (no double rounds up to the next
// second there), which the CPU computes beside the division instead of
// after it; the elapsed time of a sub-second Stop needs no whole seconds.
void BM_InlineShortestStartStop(benchmark::State& state) {
  Fields start{}, elapsed{};
  for (auto _ : state) {
    const std::int64_t count = RawCounterRead();
    const double q = static_cast<double>(count) / 1e9;
    const auto seconds = static_cast<std::int32_t>(count / 1000000000);
    start = {seconds, static_cast<std::int32_t>((q - static_cast<double>(seconds)) * 1e9)};
    const double now = static_cast<double>(RawCounterRead()) / 1e9;
    const double v =
        now - (static_cast<double>(start.nanos) * 1e-9 + static_cast<double>(start.seconds));
    elapsed = v < 1.0 && v > -1.0 ? Fields{0, static_cast<std::int32_t>(v * 1e9)} : Truncate(v);
    benchmark::DoNotOptimize(start);
    benchmark::DoNotOptimize(elapsed);
  }
}
BENCHMARK(BM_InlineShortestStartStop);

void BM_WallTimerStartStop(benchmark::State& state) {
  CZelWallTimer timer;
  for (auto _ : state) {
    timer.Start();
    timer.Stop();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_WallTimerStartStop);

void BM_WallTimerElapsedMs(benchmark::State& state) {
  CZelWallTimer timer;
  timer.Start();
  for (auto _ : state) benchmark::DoNotOptimize(timer.Elapsed(CZelTimer::eMilliseconds));
}
BENCHMARK(BM_WallTimerElapsedMs);

// A meter whose histories are already at their limits, as in a long run.
CZelFrameRate FullMeter(int length) {
  CZelFrameRate meter(length);
  for (int frame = 0; frame <= 4 * length; ++frame) {
    meter.FrameDrawStartNotice();
    meter.FrameDrawEndNotice();
    meter.SwapCallNotice();
  }
  return meter;
}

const std::vector<std::int64_t> kLengths = {16, 60, 240, 1000};

void BM_Frame(benchmark::State& state) {
  CZelFrameRate meter = FullMeter(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    meter.FrameDrawStartNotice();
    meter.FrameDrawEndNotice();
    meter.SwapCallNotice();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Frame)->ArgsProduct({kLengths});

// The same frame recorded for a capture as well: one more counter read per
// notice, into a buffer with room for every frame of the run.
void BM_FrameRecorded(benchmark::State& state) {
  CZelFrameRate meter = FullMeter(static_cast<int>(state.range(0)));
  zel_analysis::FrameRecorder recorder(static_cast<std::size_t>(state.max_iterations) + 1);
  for (auto _ : state) {
    meter.FrameDrawStartNotice();
    recorder.FrameDrawStartNotice();
    meter.FrameDrawEndNotice();
    recorder.FrameDrawEndNotice();
    meter.SwapCallNotice();
    recorder.SwapCallNotice();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FrameRecorded)->Arg(60);

// The same frame written inline: four reads with the exact arithmetic, two
// appends and two trims of plain vectors: each conversion written out
// plainly, with no shortcut, and a trim that moves every sample.
inline double Seconds(Fields f) {
  return static_cast<double>(f.nanos) * 1e-9 + static_cast<double>(f.seconds);
}

void BM_InlineFrame(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  const double frequency = 1e9;
  std::vector<float> draws(4 * length), swaps(length);
  Fields drawStart{}, swapStart{};
  for (auto _ : state) {
    drawStart = Truncate(static_cast<double>(RawCounterRead()) / frequency);
    double now = static_cast<double>(RawCounterRead()) / frequency;
    draws.push_back(static_cast<float>(Seconds(Truncate(now - Seconds(drawStart))) * 1000.0));
    if (draws.size() > 4 * length) draws.erase(draws.begin());
    now = static_cast<double>(RawCounterRead()) / frequency;
    swaps.push_back(static_cast<float>(Seconds(Truncate(now - Seconds(swapStart)))));
    swapStart = Truncate(static_cast<double>(RawCounterRead()) / frequency);
    if (swaps.size() > length) swaps.erase(swaps.begin());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_InlineFrame)->ArgsProduct({kLengths});

void BM_GetFrameRate(benchmark::State& state) {
  CZelFrameRate meter = FullMeter(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(meter.GetFrameRate());
}
BENCHMARK(BM_GetFrameRate)->ArgsProduct({kLengths});

// The floor for GetFrameRate: the same floats summed in order in double, a
// chain of dependent additions, then the same division.
void BM_InOrderSum(benchmark::State& state) {
  const std::vector<float> samples = FullMeter(static_cast<int>(state.range(0))).GetSwapHistory();
  for (auto _ : state) {
    benchmark::DoNotOptimize(samples.data());
    double sum = 0.0;
    for (float s : samples) sum += s;
    benchmark::DoNotOptimize(static_cast<float>(1.0 / (sum / static_cast<double>(samples.size()))));
  }
}
BENCHMARK(BM_InOrderSum)->ArgsProduct({kLengths});

void BM_GetDrawHistory(benchmark::State& state) {
  CZelFrameRate meter = FullMeter(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(meter.GetDrawHistory());
}
BENCHMARK(BM_GetDrawHistory)->ArgsProduct({kLengths});

// The floor for the history copy: copying a vector of the same size.
void BM_VectorCopy(benchmark::State& state) {
  const std::vector<float> samples = FullMeter(static_cast<int>(state.range(0))).GetDrawHistory();
  for (auto _ : state) {
    std::vector<float> copy(samples);
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_VectorCopy)->ArgsProduct({kLengths});

void BM_ReportAutomatic(benchmark::State& state) {
  CZelWallTimer timer;
  timer.Set(0.0123);
  for (auto _ : state) benchmark::DoNotOptimize(timer.Report(CZelTimer::eAutomatic));
}
BENCHMARK(BM_ReportAutomatic);

// The floor for a report: the same snprintf into a string.
void BM_Snprintf(benchmark::State& state) {
  for (auto _ : state) {
    char buffer[1024];
    const int n = std::snprintf(buffer, sizeof buffer, "%.1f %s", 12.3, "milliseconds");
    benchmark::DoNotOptimize(std::string(buffer, static_cast<std::size_t>(n)));
  }
}
BENCHMARK(BM_Snprintf);

// A million frame times of a 60 fps game: 16.7 ms with up to 2 ms of noise
// and a 50 ms hitch every 500 frames, from a fixed-seed generator.
const std::vector<std::int64_t>& MillionFrames() {
  static const std::vector<std::int64_t> frames = [] {
    std::vector<std::int64_t> ns(1000000);
    std::uint64_t state = 12345;
    for (std::size_t i = 0; i < ns.size(); ++i) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      ns[i] = (i % 500 == 499 ? 50000000 : 16666667) + static_cast<std::int64_t>(state >> 43);
    }
    return ns;
  }();
  return frames;
}

void BM_SummarizeMillion(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(zel_analysis::Summarize(MillionFrames()));
}
BENCHMARK(BM_SummarizeMillion);

// The picture of the same frames with their statistics given, as
// zel-framestats draws it: the envelope, stutters, histogram and the SVG.
// Its bound is the summary the caller already paid for.
void BM_PlotMillion(benchmark::State& state) {
  const zel_analysis::FrameStats stats = zel_analysis::Summarize(MillionFrames());
  const std::vector<zel_analysis::PlotInput> runs = {{"run", MillionFrames(), &stats}};
  for (auto _ : state)
    benchmark::DoNotOptimize(zel_analysis::FramePlotSvg(zel_analysis::MakeFramePlot("", runs)));
}
BENCHMARK(BM_PlotMillion);

// The bound for a summary: one std::sort of the same frame times, on a copy
// as Summarize must make of frames it may not reorder.
void BM_SortMillion(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::int64_t> copy(MillionFrames());
    std::sort(copy.begin(), copy.end());
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_SortMillion);

// One frame added to a session's summary, over a million real-looking frame
// times in turn; its bound is one counter read, a frame's cheapest cost.
void BM_SummaryAdd(benchmark::State& state) {
  const std::vector<std::int64_t>& frames = MillionFrames();
  zel_analysis::SummaryBuilder builder;
  std::size_t i = 0;
  for (auto _ : state) {
    if (!builder.Add(frames[i])) builder = zel_analysis::SummaryBuilder();
    i = i + 1 == frames.size() ? 0 : i + 1;
  }
  benchmark::DoNotOptimize(builder);
}
BENCHMARK(BM_SummaryAdd);

// Shows the aggregates as usual and keeps the fastest repetition of every
// benchmark for the ratio table: on a shared machine, noise only ever adds
// time, so the minimum is the steadiest figure.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> aggregates;
    for (const Run& run : runs) {
      if (!run.aggregate_name.empty()) {
        aggregates.push_back(run);
      } else if (!run.error_occurred) {
        const double time = run.GetAdjustedRealTime();
        auto [entry, added] = minima_.emplace(run.run_name.str(), time);
        if (!added && time < entry->second) entry->second = time;
      }
    }
    if (!aggregates.empty()) ConsoleReporter::ReportRuns(aggregates);
  }

  void PrintRatios() const {
    struct Row {
      std::string figure, limit;
    };
    std::vector<Row> rows = {{"BM_WallTimerStartStop", "BM_RawCounterRead_x2"},
                             {"BM_WallTimerStartStop", "BM_SteadyClockNow_x2"},
                             {"BM_WallTimerStartStop", "BM_InlineStartStopArithmetic"},
                             {"BM_InlineStartStopArithmetic", "BM_RawCounterRead_x2"},
                             {"BM_InlineShortestStartStop", "BM_RawCounterRead_x2"},
                             {"BM_WallTimerElapsedMs", "BM_RawCounterRead_x1"},
                             {"BM_ReportAutomatic", "BM_Snprintf"},
                             {"BM_SummarizeMillion", "BM_SortMillion"},
                             {"BM_PlotMillion", "BM_SummarizeMillion"},
                             {"BM_SummaryAdd", "BM_RawCounterRead_x1"}};
    for (std::int64_t length : kLengths) {
      const std::string arg = "/" + std::to_string(length);
      rows.push_back({"BM_Frame" + arg, "BM_RawCounterRead_x4"});
      rows.push_back({"BM_Frame" + arg, "BM_InlineFrame" + arg});
      rows.push_back({"BM_FrameRecorded" + arg, "BM_Frame" + arg});
      rows.push_back({"BM_GetFrameRate" + arg, "BM_InOrderSum" + arg});
      rows.push_back({"BM_GetDrawHistory" + arg, "BM_VectorCopy" + arg});
    }
    std::printf("\n%-30s %10s   %-30s %10s   %s\n", "figure", "ns", "limit", "ns", "ratio");
    for (const Row& row : rows) {
      const auto figure = minima_.find(row.figure);
      const auto limit = minima_.find(row.limit);
      if (figure == minima_.end() || limit == minima_.end()) continue;
      std::printf("%-30s %13.2f   %-30s %13.2f   %5.2f\n", row.figure.c_str(), figure->second,
                  row.limit.c_str(), limit->second, figure->second / limit->second);
    }
  }

private:
  std::map<std::string, double> minima_;
};

}  // namespace

int main(int argc, char** argv) {
  // Repetitions unless the command line says otherwise.
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=9";
  std::string minTime = "--benchmark_min_time=0.05";
  args.insert(args.begin() + 1, {repetitions.data(), minTime.data()});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
