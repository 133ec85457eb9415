// zel-pacebench: FramePacer (default and precise mode) beside the plain
// absolute sleep it improves on, clock_nanosleep(TIMER_ABSTIME) to each
// deadline of the same integer grid with the thread's default timer slack.
// Each method runs on a fresh thread (the pacer lowers its thread's slack),
// one after the other at each rate, and the program prints one table row per
// method and rate: percentiles of |interval - period| between consecutive
// returns, the CPU share of the waiting thread and the average rate's error.
//
//   zel-pacebench [--frames N] [--rates 60,144,240] [--methods default,precise,sleep]
//                 [--budget SHARE]   (the pacer's spin budget, 0 to 1, instead of the mode's)
#include <ZelPacing/FramePacer.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t kNanos = 1000000000;

struct Run {
  std::vector<std::int64_t> returns;  // clock readings after each wait
  std::int64_t cpuNs = 0;
};

Run PacerRun(double fps, zel_pacing::PaceMode mode, double budget, int frames) {
  Run run;
  run.returns.reserve(static_cast<std::size_t>(frames) + 1);
  zel_pacing::FramePacer pacer(fps, mode);
  if (budget >= 0.0) pacer.SetSpinBudget(budget);
  const std::int64_t cpu = zel_pacing::ThreadCpuNs();
  for (int k = 0; k <= frames; ++k) run.returns.push_back(pacer.Wait().returnedNs);
  run.cpuNs = zel_pacing::ThreadCpuNs() - cpu;
  return run;
}

Run SleepRun(double fps, int frames) {
  Run run;
  run.returns.reserve(static_cast<std::size_t>(frames) + 1);
  const std::int64_t mhz = std::llround(fps * 1000.0);
  const std::int64_t cpu = zel_pacing::ThreadCpuNs();
  const std::int64_t t0 = zel_pacing::ClockNs();
  for (std::int64_t k = 0; k <= frames; ++k) {
    const std::int64_t deadline = t0 + k * (1000000000000 / mhz) + k * (1000000000000 % mhz) / mhz;
    timespec until{static_cast<time_t>(deadline / kNanos), static_cast<long>(deadline % kNanos)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
    run.returns.push_back(zel_pacing::ClockNs());
  }
  run.cpuNs = zel_pacing::ThreadCpuNs() - cpu;
  return run;
}

double Percentile(std::vector<double> values, double p) {
  const auto at =
      static_cast<std::size_t>(std::llround(p * static_cast<double>(values.size() - 1)));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
}

void Report(const char* method, double fps, const Run& run) {
  const double period = 1e9 / fps;
  std::vector<double> errorsUs;
  for (std::size_t i = 1; i < run.returns.size(); ++i)
    errorsUs.push_back(std::abs(static_cast<double>(run.returns[i] - run.returns[i - 1]) - period) /
                       1000.0);
  const auto wall = static_cast<double>(run.returns.back() - run.returns.front());
  const auto frames = static_cast<double>(run.returns.size() - 1);
  const double rateError = (frames * period / wall - 1.0) * 100.0;
  std::printf("| %-7s | %3.0f | %8.1f | %8.1f | %8.1f | %8.1f | %6.2f %% | %+8.4f %% |\n", method,
              fps, Percentile(errorsUs, 0.50), Percentile(errorsUs, 0.95),
              Percentile(errorsUs, 0.99), *std::max_element(errorsUs.begin(), errorsUs.end()),
              100.0 * static_cast<double>(run.cpuNs) / wall, rateError);
  std::fflush(stdout);
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) items.push_back(item);
  return items;
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 2000;
  double budget = -1.0;
  std::vector<std::string> rates = {"60", "144", "240"};
  std::vector<std::string> methods = {"default", "precise", "sleep"};
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--frames") {
      frames = std::atoi(argv[i + 1]);
    } else if (name == "--rates") {
      rates = Split(argv[i + 1]);
    } else if (name == "--budget") {
      budget = std::atof(argv[i + 1]);
    } else if (name == "--methods") {
      methods = Split(argv[i + 1]);
    } else {
      std::fprintf(stderr, "zel-pacebench: unknown option '%s'\n", argv[i]);
      return 2;
    }
  }
  if (frames < 2 || (argc % 2) == 0) {
    std::fprintf(stderr, "usage: zel-pacebench [--frames N>=2] [--rates A,B] [--methods M,N]\n");
    return 2;
  }

  std::printf("%d frames per row; |interval - period| in us\n\n", frames);
  std::printf("| method | fps | p50 | p95 | p99 | max | CPU | rate error |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const std::string& rate : rates) {
    const double fps = std::atof(rate.c_str());
    if (!(fps >= 1.0 && fps <= 10000.0)) {
      std::fprintf(stderr, "zel-pacebench: rate '%s' is not 1 to 10000\n", rate.c_str());
      return 2;
    }
    for (const std::string& method : methods) {
      Run run;
      std::thread worker([&] {
        if (method == "default")
          run = PacerRun(fps, zel_pacing::PaceMode::kDefault, budget, frames);
        if (method == "precise")
          run = PacerRun(fps, zel_pacing::PaceMode::kPrecise, budget, frames);
        if (method == "sleep") run = SleepRun(fps, frames);
      });
      worker.join();
      if (run.returns.empty()) {
        std::fprintf(stderr, "zel-pacebench: unknown method '%s'\n", method.c_str());
        return 2;
      }
      Report(method.c_str(), fps, run);
    }
  }
  return 0;
}
