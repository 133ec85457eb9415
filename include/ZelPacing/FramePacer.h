// ZelTimers pacing: FramePacer, which holds a render loop to a frame rate.
#ifndef ZELPACING_FRAMEPACER_H
#define ZELPACING_FRAMEPACER_H

#include <cstdint>

namespace zel_pacing {

/// The pacer's spin budget: kDefault lets the spin take up to 2.5 % of a
/// core, kPrecise up to 10 %, for the rarer late wake-ups a larger margin
/// catches. SetSpinBudget() sets any other share.
enum class PaceMode { kDefault, kPrecise };

/// What one Wait() did. Times are nanoseconds of the pacer's clock
/// (ClockNs()); durations are nanoseconds.
struct PaceResult {
  std::int64_t deadlineNs = 0;   ///< this frame's deadline on the grid
  std::int64_t returnedNs = 0;   ///< the clock reading Wait() returned on
  std::int64_t lateNs = 0;       ///< returnedNs - deadlineNs, never negative
  std::int64_t spunNs = 0;       ///< time spent spinning on the clock
  std::int64_t overshootNs = 0;  ///< how far past its target the sleep woke (0: no sleep)
  std::int64_t marginNs = 0;     ///< how early before the deadline the sleep aimed
  bool slept = false;            ///< Wait() slept at least once
  bool missed = false;           ///< the deadline had passed when Wait() was called: no wait
  bool resynced = false;         ///< missed by more than a period: the grid restarted here
  bool lostCore = false;         ///< the thread lost its core to another (see FramePacer)
};

/// Totals since construction.
struct PaceStats {
  std::int64_t frames = 0;    ///< calls to Wait()
  std::int64_t missed = 0;    ///< frames whose deadline had passed on arrival
  std::int64_t resyncs = 0;   ///< grid restarts after a stall
  std::int64_t spunNs = 0;    ///< total spin
  std::int64_t lostCore = 0;  ///< frames that lost the thread's core (see FramePacer)
};

/// Paces a render loop: call Wait() once per frame, before presenting it;
/// it returns once that frame's deadline has come.
///
///   zel_pacing::FramePacer pacer(144.0);
///   while (running) { draw(); pacer.Wait(); present(); }
///
/// Deadlines lie on a grid t0 + floor(k * period), computed in integers
/// from the frame number k, so the average rate is the requested one
/// exactly, whatever the jitter of single frames:
///  - The first Wait() (and the first after Restart()) starts the grid at
///    its call time and returns at once.
///  - A rate change starts a new grid at the last frame's deadline: the
///    next frame is due one new period after it.
///  - A frame that arrives past its deadline returns at once (missed). One
///    that arrives more than a whole period late restarts the grid at its
///    arrival (resynced): no burst of catch-up frames follows a stall.
///  - Wait() never returns before the deadline: it reads the clock until
///    the deadline has come, whatever the sleep did.
///  - Rate 0 (the default) never waits: Wait() reads the clock once.
///
/// How it waits: it sleeps until a margin before the deadline, then spins
/// on the clock with the CPU's pause instruction. The margin covers how
/// late the thread's recent sleeps woke (all but about one wake-up in 65),
/// capped by the spin budget. A thread that shares its core with others
/// pays for a spin with a later wake-up, so once its own waits show that
/// (the core lost twice within a second or 128 frames, whichever is
/// longer: a sleep woke over 2 ms late, or the spin was cut off) it sleeps
/// to the deadline without a spin until 1024 frames pass without a loss; a
/// new pacer, or one spinning again, stops at one loss within that
/// window. On Linux a sleep that a spin follows asks for a 1 ns timer
/// slack, and the thread's own is restored after it.
///
/// Not thread-safe: one pacer per render loop. Allocates nothing.
class FramePacer {
public:
  /// Rates accepted: 0 (unpaced) or 0.001 to 100000 frames per second,
  /// rounded to the nearest 0.001 (59.94 is exactly 59940/1000). Periods
  /// accepted: 0 (unpaced) or 10 µs to 1000 s, in whole nanoseconds.
  static constexpr double kMinRate = 0.001;
  static constexpr double kMaxRate = 100000.0;
  static constexpr std::int64_t kMinPeriodNs = 10000;
  static constexpr std::int64_t kMaxPeriodNs = 1000000000000;

  /// An unpaced pacer in default mode.
  FramePacer() = default;
  /// As SetRate(fps) and SetMode(mode); a refused rate leaves it unpaced.
  explicit FramePacer(double fps, PaceMode mode = PaceMode::kDefault);

  /// Frames per second; false (and no change) for NaN, the infinities,
  /// negative rates and rates outside [kMinRate, kMaxRate] other than 0.
  /// Setting the rate it already has changes nothing.
  bool SetRate(double fps);
  /// The period in nanoseconds; false (and no change) outside
  /// [kMinPeriodNs, kMaxPeriodNs] other than 0.
  bool SetPeriodNs(std::int64_t periodNs);
  /// Period of the current rate, rounded down to whole ns (0 when unpaced).
  std::int64_t PeriodNs() const { return m_Den == 0 ? 0 : m_Num / m_Den; }

  /// The mode, and with it the spin budget (see PaceMode).
  void SetMode(PaceMode mode);
  PaceMode Mode() const { return m_Mode; }
  /// The share of a core the spin may take, 0 (sleep only) to 1 (spin
  /// whole frames); false (and no change) for anything else, NaN included.
  bool SetSpinBudget(double shareOfCore);

  /// The next Wait() starts a new grid at its call time.
  void Restart() { m_Started = false; }

  /// Waits for the current frame's deadline; see the class comment.
  PaceResult Wait();

  /// The margin the next sleep will use (0 while the cores are busy).
  std::int64_t MarginNs() const;
  const PaceStats& Stats() const { return m_Stats; }

private:
  void StartGridAt(std::int64_t t0);
  // The margin when the core is not shared: the estimate, capped by the budget.
  std::int64_t CoverNs() const;

  // Period = m_Num / m_Den ns (m_Den 0: unpaced). The grid is
  // m_T0 + floor(m_K * m_Num / m_Den) with m_K < m_Den: each time m_K
  // reaches m_Den, m_T0 moves on by exactly m_Num, so nothing overflows.
  std::int64_t m_Num = 0;
  std::int64_t m_Den = 0;
  std::int64_t m_T0 = 0;
  std::int64_t m_K = 0;
  std::int64_t m_LastDeadline = 0;
  bool m_Started = false;

  PaceMode m_Mode = PaceMode::kDefault;
  std::int64_t m_BudgetPpm = 25000;
  std::int64_t m_LateWakeNs = 100000;  // the estimate of recent overshoots
  std::int64_t m_BusyUntil = 0;        // frames before this one do not spin
  std::int64_t m_LastLoss = -1000000;  // the last frame that lost the core
  PaceStats m_Stats;
};

/// The pacer's clock: monotonic nanoseconds since an unspecified start
/// (CLOCK_MONOTONIC; the performance counter on Windows).
std::int64_t ClockNs();
/// CPU time the calling thread has used, in nanoseconds (on Windows it
/// advances by whole scheduler ticks, so only long sums of it mean much).
std::int64_t ThreadCpuNs();

}  // namespace zel_pacing

#endif
