#include "ZelPacing/FramePacer.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "platform.h"

namespace zel_pacing {

namespace {

namespace platform = zel_pacing_platform;

constexpr std::int64_t kMicro = 1000;
constexpr std::int64_t kPpm = 1000000;
constexpr std::int64_t kNsPerSecond = 1000000000;
// On a core shared with other threads a fair scheduler pays every µs of
// spin back as a later wake-up, so a thread that keeps losing its core
// sleeps to the deadline without a spin. It lost it when:
// - the spin's clock readings, a few dozen ns apart, had a gap this long;
constexpr std::int64_t kSpinGapNs = 100 * kMicro;
// - a sleep woke this far past what the margin covers: a timer is late by
//   µs, a thread waiting out another's time slice by milliseconds.
constexpr std::int64_t kWaitedForCoreNs = 2000 * kMicro;
// Two losses within a second (a scheduler's slices at any rate), or within
// this many frames where a second holds fewer, mean a shared core; one
// alone may be a stray stall.
constexpr std::int64_t kBusyFrames = 128;
// Frames without a loss before spinning again: long, as a thread that does
// not spin sees few losses and each spin on a shared core risks a slice.
constexpr std::int64_t kCalmFrames = 1024;
// The estimate of late wake-ups rises by a sixteenth at a later one and
// falls by 1/1024 otherwise: it settles where one wake-up in 65 is later,
// follows a change within dozens of frames, and a stray one moves it 6 %.
constexpr std::int64_t kRiseDivisor = 16;
constexpr std::int64_t kFallDivisor = 1024;

std::int64_t BudgetPpm(PaceMode mode) { return mode == PaceMode::kPrecise ? 100000 : 25000; }

}  // namespace

FramePacer::FramePacer(double fps, PaceMode mode) {
  SetMode(mode);
  SetRate(fps);
}

bool FramePacer::SetRate(double fps) {
  if (fps == 0.0) return SetPeriodNs(0);
  if (!(fps >= kMinRate && fps <= kMaxRate)) return false;
  // A rate in millihertz: the period is 1e12 / mHz ns, exact as a fraction.
  std::int64_t num = 1000000000000;
  std::int64_t den = std::llround(fps * 1000.0);
  const std::int64_t common = std::gcd(num, den);
  num /= common;
  den /= common;
  if (num == m_Num && den == m_Den) return true;
  m_Num = num;
  m_Den = den;
  if (m_Started) StartGridAt(m_LastDeadline);
  return true;
}

bool FramePacer::SetPeriodNs(std::int64_t periodNs) {
  if (periodNs != 0 && (periodNs < kMinPeriodNs || periodNs > kMaxPeriodNs)) return false;
  const std::int64_t den = periodNs == 0 ? 0 : 1;
  if (periodNs == m_Num && den == m_Den) return true;
  m_Num = periodNs;
  m_Den = den;
  if (m_Started) StartGridAt(m_LastDeadline);
  return true;
}

void FramePacer::SetMode(PaceMode mode) {
  m_Mode = mode;
  m_BudgetPpm = BudgetPpm(mode);
}

bool FramePacer::SetSpinBudget(double shareOfCore) {
  if (!(shareOfCore >= 0.0 && shareOfCore <= 1.0)) return false;
  m_BudgetPpm = std::llround(shareOfCore * static_cast<double>(kPpm));
  return true;
}

std::int64_t FramePacer::MarginNs() const {
  return m_Stats.frames + 1 < m_BusyUntil ? 0 : CoverNs();
}

std::int64_t FramePacer::CoverNs() const {
  // period * budget stays below 1e12 * 1e6.
  return std::min(m_LateWakeNs, PeriodNs() * m_BudgetPpm / kPpm);
}

void FramePacer::StartGridAt(std::int64_t t0) {
  m_T0 = t0;
  m_K = 0;
  m_LastDeadline = t0;
  m_Started = true;
}

PaceResult FramePacer::Wait() {
  PaceResult r;
  const std::int64_t arrived = platform::Now();
  r.deadlineNs = arrived;
  r.returnedNs = arrived;
  if (m_Den == 0 || !m_Started) {
    ++m_Stats.frames;
    StartGridAt(arrived);
    return r;
  }
  r.marginNs = MarginNs();
  ++m_Stats.frames;

  if (++m_K == m_Den) {
    m_T0 += m_Num;
    m_K = 0;
  }
  // floor(k * num / den) with k < den, split so that no product overflows.
  const std::int64_t deadline = m_T0 + m_K * (m_Num / m_Den) + m_K * (m_Num % m_Den) / m_Den;
  r.deadlineNs = deadline;
  m_LastDeadline = deadline;
  if (arrived > deadline) {
    r.missed = true;
    r.marginNs = 0;
    r.lateNs = arrived - deadline;
    ++m_Stats.missed;
    if (r.lateNs > PeriodNs()) {
      r.resynced = true;
      ++m_Stats.resyncs;
      StartGridAt(arrived);
    }
    return r;
  }

  const std::int64_t sleepUntil = deadline - r.marginNs;
  std::int64_t now = arrived;
  // Only a sleep that a spin follows asks for the timer's own precision,
  // which keeps the spin short. One with no spin after it (a shared core,
  // or no budget) has nothing to gain from it and stays a plain sleep,
  // with no calls around it.
  while (now < sleepUntil) {  // again after an early wake-up
    platform::SleepUntil(sleepUntil, r.marginNs > 0);
    r.slept = true;
    now = platform::Now();
  }
  r.overshootNs = r.slept ? now - sleepUntil : 0;
  r.lostCore = r.overshootNs > CoverNs() + kWaitedForCoreNs;
  // A frame whose margin took the whole wait did not sleep: it counts as
  // one that woke in time, so a margin too large for the wait shrinks.
  const bool later = r.overshootNs > m_LateWakeNs;
  m_LateWakeNs += later ? m_LateWakeNs / kRiseDivisor : -m_LateWakeNs / kFallDivisor;

  const std::int64_t spinFrom = now;
  while (now < deadline) {
    platform::Pause();
    const std::int64_t previous = now;
    now = platform::Now();
    r.lostCore = r.lostCore || now - previous > kSpinGapNs;
  }
  if (r.lostCore) {
    ++m_Stats.lostCore;
    // Frames in a second: den / num per ns, at most 1e8 * 1e9.
    const std::int64_t window = std::max(kBusyFrames, kNsPerSecond * m_Den / m_Num);
    // The last frame without a spin (for a new pacer, the moment before its
    // first) counts as a loss: the spin since has yet to show the core is free.
    if (m_Stats.frames - std::max(m_LastLoss, m_BusyUntil - 1) < window)
      m_BusyUntil = m_Stats.frames + 1 + kCalmFrames;
    m_LastLoss = m_Stats.frames;
  }
  r.spunNs = now - spinFrom;
  m_Stats.spunNs += r.spunNs;
  r.returnedNs = now;
  r.lateNs = now - deadline;
  return r;
}

std::int64_t ClockNs() { return platform::Now(); }

std::int64_t ThreadCpuNs() { return platform::ThreadCpuNs(); }

}  // namespace zel_pacing
