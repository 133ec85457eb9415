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
// Before the first overshoot is seen the margin is this, within the budget.
constexpr std::int64_t kInitialMarginNs = 1000 * kMicro;

// A margin that covers the permille-th overshoot of the window (nearest
// rank), plus extra quarters of it and a guard.
struct Cover {
  int permille;
  int extraQuarters;
  std::int64_t guardNs;
};

// Each mode tries its covers in order and keeps the first that fits the
// budget: when the tail is beyond it (a loaded machine), spinning for the
// whole budget would not catch the tail, only lengthen the spin the
// scheduler can cut into, so the margin falls back to the typical wake-up.
struct ModeRules {
  int window;  // overshoots considered, the most recent
  Cover covers[5];
  std::int64_t budgetPpm;  // default spin budget
};

constexpr Cover kMedian = {500, 0, 10 * kMicro};
constexpr Cover kP90 = {900, 0, 10 * kMicro};
// 996 of 256 is the second-longest.
constexpr ModeRules kRules[] = {
    {64, {kP90, kMedian, kMedian, kMedian, kMedian}, 25000},
    {256,
     {{996, 1, 20 * kMicro}, {990, 0, 20 * kMicro}, {950, 0, 10 * kMicro}, kP90, kMedian},
     120000}};

const ModeRules& RulesOf(PaceMode mode) { return kRules[mode == PaceMode::kPrecise ? 1 : 0]; }

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
  m_BudgetPpm = RulesOf(mode).budgetPpm;
  if (m_Seen > 0) Record(-1);
}

bool FramePacer::SetSpinBudget(double shareOfCore) {
  if (!(shareOfCore >= 0.0 && shareOfCore <= 1.0)) return false;
  m_BudgetPpm = std::llround(shareOfCore * static_cast<double>(kPpm));
  return true;
}

std::int64_t FramePacer::MarginNs() const {
  if (m_Den == 0) return 0;
  // period * budget stays below 1e12 * 1e6.
  const std::int64_t cap = PeriodNs() * m_BudgetPpm / kPpm;
  if (m_Seen == 0) return std::min(kInitialMarginNs, cap);
  for (const std::int64_t margin : m_Margins)
    if (margin <= cap) return margin;
  return cap;
}

void FramePacer::StartGridAt(std::int64_t t0) {
  m_T0 = t0;
  m_K = 0;
  m_LastDeadline = t0;
  m_Started = true;
}

std::int64_t FramePacer::Deadline() const {
  // floor(k * num / den) with k < den, split so that no product overflows.
  return m_T0 + m_K * (m_Num / m_Den) + m_K * (m_Num % m_Den) / m_Den;
}

// Adds an overshoot to the window (a negative one adds nothing) and
// recomputes the margin from it.
void FramePacer::Record(std::int64_t overshootNs) {
  if (overshootNs >= 0) {
    m_Overshoots[static_cast<std::size_t>(m_Next)] = overshootNs;
    m_Next = (m_Next + 1) % kWindow;
    m_Seen = std::min(m_Seen + 1, kWindow);
  }
  const ModeRules& rules = RulesOf(m_Mode);
  const int n = std::min(m_Seen, rules.window);
  std::array<std::int64_t, kWindow> recent{};
  for (int i = 0; i < n; ++i)
    recent[static_cast<std::size_t>(i)] =
        m_Overshoots[static_cast<std::size_t>((m_Next - 1 - i + kWindow) % kWindow)];
  // Covers go from the highest rank down, so each nth_element works on the
  // part below the last one.
  auto end = recent.begin() + n;
  for (std::size_t c = 0; c < m_Margins.size(); ++c) {
    const Cover& cover = rules.covers[c];
    const auto nth = recent.begin() + ((n * cover.permille + 999) / 1000 - 1);
    std::nth_element(recent.begin(), nth, end);
    end = nth + 1;
    m_Margins[c] = *nth + *nth / 4 * cover.extraQuarters + cover.guardNs;
  }
}

PaceResult FramePacer::Wait() {
  PaceResult r;
  ++m_Stats.frames;
  const std::int64_t arrived = platform::Now();
  r.deadlineNs = arrived;
  r.returnedNs = arrived;
  if (m_Den == 0 || !m_Started) {
    StartGridAt(arrived);
    return r;
  }

  if (++m_K == m_Den) {
    m_T0 += m_Num;
    m_K = 0;
  }
  const std::int64_t deadline = Deadline();
  r.deadlineNs = deadline;
  m_LastDeadline = deadline;
  if (arrived > deadline) {
    r.missed = true;
    r.lateNs = arrived - deadline;
    ++m_Stats.missed;
    if (r.lateNs > PeriodNs()) {
      r.resynced = true;
      ++m_Stats.resyncs;
      StartGridAt(arrived);
    }
    return r;
  }

  r.marginNs = MarginNs();
  const std::int64_t sleepUntil = deadline - r.marginNs;
  std::int64_t now = arrived;
  while (now < sleepUntil) {  // again after an early wake-up
    platform::SleepUntil(sleepUntil);
    r.slept = true;
    now = platform::Now();
  }
  if (r.slept) {
    r.overshootNs = now - sleepUntil;
    Record(r.overshootNs);
  }
  const std::int64_t spinFrom = now;
  while (now < deadline) now = platform::Now();
  r.spunNs = now - spinFrom;
  m_Stats.spunNs += r.spunNs;
  r.returnedNs = now;
  r.lateNs = now - deadline;
  return r;
}

std::int64_t ClockNs() { return platform::Now(); }

std::int64_t ThreadCpuNs() { return platform::ThreadCpuNs(); }

}  // namespace zel_pacing
