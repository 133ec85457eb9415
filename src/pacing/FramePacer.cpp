#include "ZelPacing/FramePacer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "platform.h"

namespace zel_pacing {

namespace {

namespace platform = zel_pacing_platform;

constexpr std::int64_t kMicro = 1000;
constexpr std::int64_t kPpm = 1000000;
// Before the first overshoot is seen the margin is this, within the budget.
constexpr std::int64_t kInitialMarginNs = 1000 * kMicro;

// Whether spinning pays, tried out. On a machine whose cores are all busy
// the scheduler charges every spin against the pacer's time slice, and once
// that is spent a wake-up waits for another program's whole slice: frames
// come back milliseconds late, more often the more the pacer spins. So when
// six frames within kWindowFrames came back over kLateNs late, the pacer
// sleeps to the deadline itself (no spin, in steps of at most
// kLongestStepNs) for kTrialFrames frames, then spins as usual for as
// many, or until it has more than twice as many late frames, and three at
// least. If the sleeping frames were late less than half as often, it goes
// on sleeping alone for a hold, and at its end tries spinning again at once
// (against the hold's last kTrialFrames frames); if not, it spins for a
// hold before a trial can start again. Each outcome doubles its own hold
// (up to kLongestHold frames) and resets the other's, so a machine that
// stays loaded, or one where sleeping alone never helps, is tried ever more
// rarely. Comparing with frames spun after the trial, rather than with the
// six that started it, keeps bursts of stalls that no wait can avoid (a
// hypervisor's, on an idle machine) from passing for a loaded machine.
constexpr std::int64_t kLateNs = 200 * kMicro;
// Where the platform tells how long the thread waited for a core (Linux),
// a late frame counts only if it waited over kQueuedNs: the late wake-ups
// of an idle virtual machine wait for the hypervisor, not for a core, and
// no wait can avoid those. On the idle machine here 25 of 34 wake-ups
// over 300 µs late had waited 100 µs or less for a core; with a spinning
// process on the pacer's core, 83 of 85 had waited longer.
constexpr std::int64_t kQueuedNs = 100 * kMicro;
constexpr std::int64_t kWindowFrames = 128;
constexpr std::int64_t kTrialFrames = 128;
constexpr std::int64_t kLongestHold = 16384;
// On a loaded machine a thread that slept a whole frame often waits
// milliseconds for a core when it wakes; one that wakes every 2 ms gets it
// back at once far more often (with two spinning processes on two cores, at
// 60 to 240 fps, the smaller p99 in 19 of 22 paired runs). So the pacer
// sleeps in steps of at most kLongestStepNs while it sleeps alone, and for
// kBusyFrames frames after it last saw more threads ready to run than
// cores, when it also drops its margin: on busy cores a spin only makes
// later wake-ups wait (see the trials). On an idle machine the steps would
// only cost CPU. One such reading alone is not taken for busy cores: an
// idle machine has a moment with a few more threads ready now and then
// (2 reads in 3000 here, 4 ms apart), and each would cost 128 frames of
// sleeping alone; a second reading within kBusyPairFrames frames is. A
// loaded machine shows it at every read.
constexpr std::int64_t kLongestStepNs = 2000 * kMicro;
constexpr std::int64_t kBusyFrames = 128;
constexpr std::int64_t kBusyPairFrames = 8;
// The pacer reads the cores' count once a frame, in the spin when at
// least kSpareSpinNs of it is left. After a sleep the read takes 5 to
// 20 µs of CPU here (3 µs when repeated at once); in the spin that time
// would be spent anyway, and at 60 and 144 fps the pacer used 10 to 18 µs
// less CPU a frame, about 0.1 % of a core. The read's wall time after a
// wake-up was 33 to 36 µs at the 99.9th percentile, within what is left.
// A frame with less to spare leaves the read to before the next frame's
// sleep; frames on busy cores, which do not spin, read before their own.
constexpr std::int64_t kSpareSpinNs = 50 * kMicro;

// Each mode sizes the margin to cover the permille-th longest of its most
// recent overshoots (nearest rank), plus extra quarters of it and a guard,
// and caps it at the spin budget: when the tail is longer than the budget
// allows, spinning for the whole budget still catches every overshoot up
// to it, where a smaller margin would let those frames through late.
// Precise mode also keeps the margin at 3 % of the period or more: on an
// idle virtual machine the wake-ups that come back half a millisecond or
// more late do so in bursts, and at 60 fps the last 256 overshoots often
// held none of them. At 60 fps a fixed 500 µs margin had a smaller p99
// than covering the second-longest of 256 in 7 of 8 runs (at 2.6 % of a
// core against 1.8 to 2.2 %); at 144 and 240 fps the covered overshoot is
// mostly longer than 3 % of the period, so the floor seldom binds there.
struct ModeRules {
  int window;  // overshoots considered, the most recent
  int permille;
  int extraQuarters;
  std::int64_t guardNs;
  std::int64_t floorPpm;     // the least margin, as a share of the period
  std::int64_t budgetPpm;    // default spin budget
  std::int64_t maxMarginNs;  // and the longest margin with that default budget
};

constexpr std::int64_t kNoLimit = std::numeric_limits<std::int64_t>::max();
// 977 of 128 is the third-longest; 996 of 256 the second-longest.
constexpr ModeRules kRules[] = {{128, 977, 0, 10 * kMicro, 0, 25000, kNoLimit},
                                {256, 996, 1, 20 * kMicro, 30000, 110000, 500 * kMicro}};

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
  m_MaxMarginNs = RulesOf(mode).maxMarginNs;
  if (m_Seen > 0) Record(-1);
}

bool FramePacer::SetSpinBudget(double shareOfCore) {
  if (!(shareOfCore >= 0.0 && shareOfCore <= 1.0)) return false;
  m_BudgetPpm = std::llround(shareOfCore * static_cast<double>(kPpm));
  m_MaxMarginNs = kNoLimit;
  return true;
}

std::int64_t FramePacer::MarginNs() const {
  if (m_Den == 0 || m_Phase == Phase::kTrialSleep || m_Phase == Phase::kSleep) return 0;
  // period * budget stays below 1e12 * 1e6.
  const std::int64_t cap = std::min(PeriodNs() * m_BudgetPpm / kPpm, m_MaxMarginNs);
  const std::int64_t least = PeriodNs() * RulesOf(m_Mode).floorPpm / kPpm;
  return std::min(std::max(m_Seen == 0 ? kInitialMarginNs : m_Cover, least), cap);
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
  const auto nth = recent.begin() + ((n * rules.permille + 999) / 1000 - 1);
  std::nth_element(recent.begin(), nth, recent.begin() + n);
  m_Cover = *nth + *nth / 4 * rules.extraQuarters + rules.guardNs;
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

  if (m_Stats.frames < m_BusyUntil || m_SpinReadFrame != m_Stats.frames - 1) LookAtCores();
  const bool busy = m_Stats.frames < m_BusyUntil;
  const std::int64_t queuedBefore = busy ? -1 : platform::RunQueueWaitNs();
  r.marginNs = busy ? 0 : MarginNs();
  const std::int64_t sleepUntil = deadline - r.marginNs;
  const bool stepped = busy || m_Phase == Phase::kTrialSleep || m_Phase == Phase::kSleep;
  std::int64_t now = arrived;
  std::int64_t target = now;
  // Stepped sleeps are for busy cores, where short slices get the core
  // back on waking (see platform.h); the drawing keeps the thread's own.
  const bool shortSlices = stepped && now < sleepUntil;
  if (shortSlices) platform::ShortSlices(true);
  while (now < sleepUntil) {  // again after an early wake-up
    target = stepped ? std::min(sleepUntil, now + kLongestStepNs) : sleepUntil;
    platform::SleepUntil(target);
    r.slept = true;
    now = platform::Now();
  }
  if (shortSlices) platform::ShortSlices(false);
  if (r.slept) {
    r.overshootNs = now - target;
    Record(r.overshootNs);
  }
  const std::int64_t spinFrom = now;
  if (!busy && deadline - now >= kSpareSpinNs) {
    LookAtCores();
    m_SpinReadFrame = m_Stats.frames;
    now = platform::Now();
  }
  while (now < deadline) now = platform::Now();
  r.spunNs = now - spinFrom;
  m_Stats.spunNs += r.spunNs;
  r.returnedNs = now;
  r.lateNs = now - deadline;
  // A frame on busy cores did not spin: being late, it says nothing of
  // what spinning costs, and a trial there could only compare two ways of
  // sleeping alone. Nor does one that never waited for a core.
  bool late = !busy && r.lateNs > kLateNs;
  if (late && queuedBefore >= 0) late = platform::RunQueueWaitNs() - queuedBefore > kQueuedNs;
  TrySpinning(late);
  return r;
}

// Reads whether the cores are busy: the second busy reading within
// kBusyPairFrames frames makes them busy until kBusyFrames frames later.
void FramePacer::LookAtCores() {
  const std::int64_t frame = m_Stats.frames;
  if (!platform::CoresBusy()) return;
  if (frame - m_LastBusyRead <= kBusyPairFrames) m_BusyUntil = frame + kBusyFrames;
  m_LastBusyRead = frame;
}

// Counts the late frames of the current phase and moves between spinning
// and sleeping alone (see kLateNs).
void FramePacer::TrySpinning(bool late) {
  const std::int64_t frame = m_Stats.frames;
  const auto enter = [&](Phase phase, std::int64_t frames) {
    m_Phase = phase;
    m_PhaseEnd = frame + frames;
    m_LateFrames.fill(kNoLateFrame);
  };
  switch (m_Phase) {
    case Phase::kSpin:
      if (!late) break;
      // A ring of the last six late frames: the slot after the newest
      // holds the oldest.
      m_LateFrames[m_LateNext] = frame;
      m_LateNext = (m_LateNext + 1) % m_LateFrames.size();
      if (frame >= m_PhaseEnd && frame - m_LateFrames[m_LateNext] < kWindowFrames)
        enter(Phase::kTrialSleep, kTrialFrames);
      break;
    case Phase::kTrialSleep:
      m_SleptLate += late ? 1 : 0;
      if (frame >= m_PhaseEnd) enter(Phase::kTrialSpin, kTrialFrames);
      break;
    case Phase::kTrialSpin: {
      // More spinning frames only add late ones: a win is known at once.
      // It takes three late frames at least: one or two in 128 are the
      // stalls of an idle machine.
      m_SpunLate += late ? 1 : 0;
      const bool sleepingWins = m_SpunLate > std::max(2 * m_SleptLate, 2);
      if (!sleepingWins && frame < m_PhaseEnd) break;
      ++m_Stats.trials;
      if (sleepingWins) {
        enter(Phase::kSleep, m_SleepHold);
        m_SleepHold = std::min(2 * m_SleepHold, kLongestHold);
        m_SpinHold = kFirstSpinHold;
      } else {
        enter(Phase::kSpin, m_SpinHold);
        m_SpinHold = std::min(2 * m_SpinHold, kLongestHold);
        m_SleepHold = kFirstSleepHold;
      }
      m_SleptLate = 0;
      m_SpunLate = 0;
      break;
    }
    case Phase::kSleep:
      // The hold's last frames stand for sleeping alone in the trial that
      // follows at once: waiting for six more late frames on a machine that
      // has been loaded would only add them.
      if (frame > m_PhaseEnd - kTrialFrames) m_SleptLate += late ? 1 : 0;
      if (frame >= m_PhaseEnd) enter(Phase::kTrialSpin, kTrialFrames);
      break;
  }
}

std::int64_t ClockNs() { return platform::Now(); }

std::int64_t ThreadCpuNs() { return platform::ThreadCpuNs(); }

}  // namespace zel_pacing
