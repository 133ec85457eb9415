// The demos' frame pacing: ZelTimers::Pacing's FramePacer, plus what the
// summaries report about it.
#ifndef ZELTIMERS_FRAMEDEMO_PACER_H
#define ZELTIMERS_FRAMEDEMO_PACER_H

#include <ZelPacing/FramePacer.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace framedemo {

// How late frames were shown against their deadlines (nearest-rank
// percentiles, all 0 without frames) and the CPU time the waits took.
struct PacingReport {
  std::int64_t p50Ns = 0;
  std::int64_t p99Ns = 0;
  std::int64_t maxNs = 0;
  std::int64_t cpuNs = 0;
};

PacingReport SummarizePacing(std::vector<std::int64_t> lateNs, std::int64_t cpuNs);

// "pacing: late (us) p50 0.4 p99 31.2 max 95.0 | CPU 12.3 ms (0.41% of
// 3.0 s)"
std::string PacingLine(const PacingReport& report, double runSeconds);

class Pacer {
public:
  // fps 0 paces nothing. Room for `frames` frames' lateness is kept from
  // the start, so that pacing allocates nothing in the loop. `plainSleep`
  // waits with one plain sleep to each deadline of the same grid instead of
  // the FramePacer: the baseline the pacer is measured against.
  Pacer(double fps, std::size_t frames, bool plainSleep = false);

  // Returns once the frame's deadline has come, and whether the frame is
  // late: more than half a period after its deadline.
  bool Wait();

  PacingReport Report() const { return SummarizePacing(m_LateNs, m_CpuNs); }

private:
  std::int64_t SleepToDeadline();

  zel_pacing::FramePacer m_Pacer;
  bool m_PlainSleep = false;
  std::int64_t m_MilliHz = 0;
  std::int64_t m_T0 = -1;
  std::int64_t m_K = 0;
  std::vector<std::int64_t> m_LateNs;
  std::int64_t m_CpuNs = 0;
};

}  // namespace framedemo

#endif
