#include "pacer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#if defined(__linux__)
#include <ctime>
#endif

namespace framedemo {

PacingReport SummarizePacing(std::vector<std::int64_t> lateNs, std::int64_t cpuNs) {
  PacingReport report;
  report.cpuNs = cpuNs;
  if (lateNs.empty()) return report;
  std::sort(lateNs.begin(), lateNs.end());
  // The nearest rank: the smallest sample with at least p of them at or below it.
  const auto rank = [&](std::size_t percent) {
    return lateNs[(lateNs.size() * percent + 99) / 100 - 1];
  };
  report.p50Ns = rank(50);
  report.p99Ns = rank(99);
  report.maxNs = lateNs.back();
  return report;
}

std::string PacingLine(const PacingReport& report, double runSeconds) {
  char line[160];
  std::snprintf(line, sizeof line,
                "pacing: late (us) p50 %.1f p99 %.1f max %.1f | CPU %.1f ms (%.2f%% of %.1f s)",
                static_cast<double>(report.p50Ns) / 1e3, static_cast<double>(report.p99Ns) / 1e3,
                static_cast<double>(report.maxNs) / 1e3, static_cast<double>(report.cpuNs) / 1e6,
                runSeconds > 0.0 ? static_cast<double>(report.cpuNs) / 1e7 / runSeconds : 0.0,
                runSeconds);
  return line;
}

Pacer::Pacer(double fps, std::size_t frames, bool plainSleep)
    : m_Pacer(fps), m_PlainSleep(plainSleep), m_MilliHz(std::llround(fps * 1000.0)) {
  m_LateNs.reserve(frames);
}

// The pacer's grid (t0 + floor(k * 1e12 / mHz), restarted after a stall of
// over a period), slept to with the thread's own timer slack and no spin.
std::int64_t Pacer::SleepToDeadline() {
  constexpr std::int64_t kPs = 1000000000000;
  const std::int64_t arrived = zel_pacing::ClockNs();
  const std::int64_t deadline =
      m_T0 + (m_K + 1) * (kPs / m_MilliHz) + (m_K + 1) * (kPs % m_MilliHz) / m_MilliHz;
  if (m_T0 < 0 || arrived > deadline + m_Pacer.PeriodNs()) {
    m_T0 = arrived;
    m_K = 0;
    return 0;
  }
  ++m_K;
#if defined(__linux__)
  const timespec until{static_cast<time_t>(deadline / 1000000000), deadline % 1000000000};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
  }
#else
  std::this_thread::sleep_for(std::chrono::nanoseconds(deadline - arrived));
#endif
  return std::max<std::int64_t>(zel_pacing::ClockNs() - deadline, 0);
}

bool Pacer::Wait() {
  const std::int64_t cpu = zel_pacing::ThreadCpuNs();
  const std::int64_t late =
      m_PlainSleep && m_Pacer.PeriodNs() > 0 ? SleepToDeadline() : m_Pacer.Wait().lateNs;
  m_CpuNs += zel_pacing::ThreadCpuNs() - cpu;
  m_LateNs.push_back(late);
  return late > m_Pacer.PeriodNs() / 2 && m_Pacer.PeriodNs() > 0;
}

}  // namespace framedemo
