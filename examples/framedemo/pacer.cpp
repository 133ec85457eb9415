#include "pacer.h"

#include <algorithm>
#include <cstdio>

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

Pacer::Pacer(double fps, std::size_t frames) : m_Pacer(fps) { m_LateNs.reserve(frames); }

bool Pacer::Wait() {
  const std::int64_t cpu = zel_pacing::ThreadCpuNs();
  const zel_pacing::PaceResult result = m_Pacer.Wait();
  m_CpuNs += zel_pacing::ThreadCpuNs() - cpu;
  m_LateNs.push_back(result.lateNs);
  return result.lateNs > m_Pacer.PeriodNs() / 2 && m_Pacer.PeriodNs() > 0;
}

}  // namespace framedemo
