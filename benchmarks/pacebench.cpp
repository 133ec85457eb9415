// zel-pacebench: FramePacer (default and precise mode) beside the waiting
// loops render loops use instead, all to the deadlines of the same integer
// grid:
//   sleep    clock_nanosleep(TIMER_ABSTIME) to the deadline, default slack;
//   fixed    the same to 500 us before it with the slack at 1 ns, then spin;
//   chunked  relative 1 ms sleeps while more than 1 ms is left, then spin;
//   ratio    one relative sleep for 95 % of what is left, then spin;
//   stepped  absolute sleeps of at most 2 ms to the deadline, slack 1 ns, no
//            spin.
// At each rate the methods take turns in blocks of frames, each block on a
// fresh thread (`fixed` and `stepped` lower their thread's slack), so that
// every method meets the same moods of a shared machine; a
// pacer keeps what it learned from one of its blocks to the next. The
// program prints one table row per method and rate: percentiles of
// |interval - period| between consecutive returns within a block, the CPU
// share of the waiting thread, the average rate's error and, for the pacer,
// the frames that lost its core (PaceStats::lostCore).
//
//   zel-pacebench [--frames N] [--rates 60,144,240]
//                 [--methods default,precise,sleep,fixed,chunked,ratio,stepped]
//                 [--budget SHARE]   (the pacer's spin budget, 0 to 1, instead of the mode's)
//                 [--load N]         (N other processes spinning meanwhile)
//                 [--block N]        (frames per turn, default 250)
#include <ZelPacing/FramePacer.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
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

// A block of `frames` frames on the pacer: it starts a new grid (its first
// Wait() returns at once) but keeps its margin.
Run PacerRun(zel_pacing::FramePacer& pacer, int frames) {
  Run run;
  run.returns.reserve(static_cast<std::size_t>(frames) + 1);
  pacer.Restart();
  const std::int64_t cpu = zel_pacing::ThreadCpuNs();
  for (int k = 0; k <= frames; ++k) run.returns.push_back(pacer.Wait().returnedNs);
  run.cpuNs = zel_pacing::ThreadCpuNs() - cpu;
  return run;
}

std::int64_t GridDeadline(std::int64_t t0, std::int64_t mhz, std::int64_t k) {
  return t0 + k * (1000000000000 / mhz) + k * (1000000000000 % mhz) / mhz;
}

timespec AsTimespec(std::int64_t ns) {
  return {static_cast<time_t>(ns / kNanos), static_cast<long>(ns % kNanos)};
}

void SleepUntil(std::int64_t ns) {
  const timespec until = AsTimespec(ns);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
  }
}

void SleepFor(std::int64_t ns) {
  const timespec length = AsTimespec(ns);
  nanosleep(&length, nullptr);
}

void SpinUntil(std::int64_t ns) {
  while (zel_pacing::ClockNs() < ns) {
  }
}

// One of the loops beside the pacer: waits until the deadline it is given.
Run LoopRun(const std::string& method, double fps, int frames) {
  Run run;
  run.returns.reserve(static_cast<std::size_t>(frames) + 1);
  if (method == "fixed" || method == "stepped") prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  const std::int64_t mhz = std::llround(fps * 1000.0);
  const std::int64_t cpu = zel_pacing::ThreadCpuNs();
  const std::int64_t t0 = zel_pacing::ClockNs();
  constexpr std::int64_t kMs = 1000000;
  for (std::int64_t k = 0; k <= frames; ++k) {
    const std::int64_t deadline = GridDeadline(t0, mhz, k);
    if (method == "sleep") {
      SleepUntil(deadline);
    } else if (method == "fixed") {
      SleepUntil(deadline - kMs / 2);
      SpinUntil(deadline);
    } else if (method == "chunked") {
      while (deadline - zel_pacing::ClockNs() > kMs) SleepFor(kMs);
      SpinUntil(deadline);
    } else if (method == "ratio") {
      const std::int64_t left = deadline - zel_pacing::ClockNs();
      if (left > 0) SleepFor(left / 100 * 95);
      SpinUntil(deadline);
    } else if (method == "stepped") {
      for (std::int64_t now = zel_pacing::ClockNs(); now < deadline; now = zel_pacing::ClockNs())
        SleepUntil(std::min(deadline, now + 2 * kMs));
    }
    run.returns.push_back(zel_pacing::ClockNs());
  }
  run.cpuNs = zel_pacing::ThreadCpuNs() - cpu;
  return run;
}

bool IsLoop(const std::string& method) {
  return method == "sleep" || method == "fixed" || method == "chunked" || method == "ratio" ||
         method == "stepped";
}

double Percentile(std::vector<double> values, double p) {
  const auto at =
      static_cast<std::size_t>(std::llround(p * static_cast<double>(values.size() - 1)));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
}

// What one method did at one rate, over all its blocks.
struct Tally {
  std::vector<double> errorsUs;  // |interval - period|
  std::int64_t cpuNs = 0;
  std::int64_t wallNs = 0;
  std::int64_t lostCore = -1;  // the pacer's frames that lost its core; -1 for the loops
};

void Add(Tally& tally, const Run& run, double period) {
  for (std::size_t i = 1; i < run.returns.size(); ++i)
    tally.errorsUs.push_back(
        std::abs(static_cast<double>(run.returns[i] - run.returns[i - 1]) - period) / 1000.0);
  tally.cpuNs += run.cpuNs;
  tally.wallNs += run.returns.back() - run.returns.front();
}

void Report(const std::string& method, double fps, const Tally& tally) {
  const double period = 1e9 / fps;
  const auto wall = static_cast<double>(tally.wallNs);
  const auto frames = static_cast<double>(tally.errorsUs.size());
  const double rateError = (frames * period / wall - 1.0) * 100.0;
  const std::string lostCore = tally.lostCore < 0 ? "" : std::to_string(tally.lostCore);
  std::printf("| %-7s | %3.0f | %8.1f | %8.1f | %8.1f | %8.1f | %6.2f %% | %+8.4f %% | %6s |\n",
              method.c_str(), fps, Percentile(tally.errorsUs, 0.50),
              Percentile(tally.errorsUs, 0.95), Percentile(tally.errorsUs, 0.99),
              *std::max_element(tally.errorsUs.begin(), tally.errorsUs.end()),
              100.0 * static_cast<double>(tally.cpuNs) / wall, rateError, lostCore.c_str());
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
  int load = 0;
  int block = 250;
  std::vector<std::string> rates = {"60", "144", "240"};
  std::vector<std::string> methods = {"default", "precise", "sleep", "fixed", "chunked", "ratio"};
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--frames") {
      frames = std::atoi(argv[i + 1]);
    } else if (name == "--rates") {
      rates = Split(argv[i + 1]);
    } else if (name == "--budget") {
      budget = std::atof(argv[i + 1]);
    } else if (name == "--block") {
      block = std::atoi(argv[i + 1]);
    } else if (name == "--load") {
      load = std::atoi(argv[i + 1]);
    } else if (name == "--methods") {
      methods = Split(argv[i + 1]);
    } else {
      std::fprintf(stderr, "zel-pacebench: unknown option '%s'\n", argv[i]);
      return 2;
    }
  }
  if (frames < 2 || load < 0 || block < 2 || (argc % 2) == 0) {
    std::fprintf(stderr,
                 "usage: zel-pacebench [--frames N>=2] [--rates A,B] [--methods M,N] "
                 "[--budget SHARE] [--load N] [--block N]\n");
    return 2;
  }

  // The load: processes that spin until killed, started before any thread.
  std::vector<pid_t> spinners;
  for (int i = 0; i < load; ++i) {
    const pid_t child = fork();
    if (child == 0)
      for (volatile unsigned spin = 0;; spin = spin + 1) {
      }
    if (child > 0) spinners.push_back(child);
  }
  const auto stopLoad = [&] {
    for (const pid_t child : spinners) kill(child, SIGKILL);
    for (const pid_t child : spinners) waitpid(child, nullptr, 0);
  };

  for (const std::string& method : methods) {
    if (method != "default" && method != "precise" && !IsLoop(method)) {
      std::fprintf(stderr, "zel-pacebench: unknown method '%s'\n", method.c_str());
      stopLoad();
      return 2;
    }
  }
  std::printf("%d frames per row in turns of %d%s; |interval - period| in us\n\n", frames, block,
              load > 0 ? (", " + std::to_string(load) + " spinning processes beside").c_str() : "");
  std::printf("| method | fps | p50 | p95 | p99 | max | CPU | rate error | lost core |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const std::string& rate : rates) {
    const double fps = std::atof(rate.c_str());
    if (!(fps >= 1.0 && fps <= 10000.0)) {
      std::fprintf(stderr, "zel-pacebench: rate '%s' is not 1 to 10000\n", rate.c_str());
      stopLoad();
      return 2;
    }
    std::vector<Tally> tallies(methods.size());
    std::vector<zel_pacing::FramePacer> pacers;
    for (const std::string& method : methods) {
      pacers.emplace_back(fps, method == "precise" ? zel_pacing::PaceMode::kPrecise
                                                   : zel_pacing::PaceMode::kDefault);
      if (budget >= 0.0) pacers.back().SetSpinBudget(budget);
    }
    for (int done = 0; done < frames; done += block) {
      const int n = std::min(block, frames - done);
      for (std::size_t m = 0; m < methods.size(); ++m) {
        Run run;
        std::thread worker([&] {
          run = IsLoop(methods[m]) ? LoopRun(methods[m], fps, n) : PacerRun(pacers[m], n);
        });
        worker.join();
        Add(tallies[m], run, 1e9 / fps);
      }
    }
    for (std::size_t m = 0; m < methods.size(); ++m) {
      if (!IsLoop(methods[m])) tallies[m].lostCore = pacers[m].Stats().lostCore;
      Report(methods[m], fps, tallies[m]);
    }
  }
  stopLoad();
  return 0;
}
