// ZelTimers pacing: FramePacer, which holds a render loop to a frame rate.
#ifndef ZELPACING_FRAMEPACER_H
#define ZELPACING_FRAMEPACER_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace zel_pacing {

/// How the pacer spends its spin budget.
///  - kDefault: the margin covers the third-longest of the last 128 sleep
///    overshoots (their 98th percentile) plus 10 µs: the median frame is on
///    time to the microsecond, the rare long overshoot is let through.
///    Default budget 2.5 % of a core.
///  - kPrecise: the margin covers the second-longest of the last 256
///    overshoots, with a quarter more (plus 20 µs), and is never under 3 %
///    of the period: more spin, a much smaller tail. (At low rates the last
///    256 overshoots often hold none of the bursts of late wake-ups a
///    virtual machine has; at 60 fps the floor is 500 µs, the limit too.)
///    Default budget 11 % of a core and at most 500 µs a frame (3 % of
///    a core at 60 fps, 7 % at 144): the overshoots past that seen on
///    idle machines were stalls of up to several milliseconds, which a
///    longer spin, paid on every frame, would catch only in part.
///    SetSpinBudget() replaces both limits with its share.
/// Either way the margin never exceeds the budget. When the overshoots are
/// longer than the budget allows, the margin is the whole budget: it still
/// catches every wake-up that late or less.
///
/// On a machine whose cores are all busy, a spin costs more than it buys:
/// the scheduler charges it against the pacer's time slice, and once that
/// is spent a wake-up waits for another program's slice, so frames come
/// back milliseconds late. The pacer tries it out. When 6 frames within 128
/// came back over 200 µs late (not counting those on busy cores, see below,
/// which do not spin, nor, on Linux, those whose thread waited 100 µs or
/// less for a core: the late wake-ups of an idle virtual machine wait for
/// the hypervisor, and no way of waiting avoids them), it sleeps to the
/// deadline itself, with no margin and no spin, waking at least every 2 ms
/// on the way (a thread that wakes that often gets a busy core back at once
/// more often than one that slept the whole frame), for 128 frames; then it
/// spins as usual for 128, or only until more than twice as many frames as
/// slept late, and three at least, are late (a trial, counted in
/// PaceStats::trials). If fewer than half as many of the sleeping frames
/// were late, it goes on sleeping alone for a hold of 1024 frames, after
/// which it tries spinning again at once, against the late frames of the
/// hold's last 128; if not, it spins for 64 frames before the next trial
/// can start. Each outcome doubles its own hold, up to 16384 frames, and
/// resets the other's.
/// MarginNs() is 0 while it sleeps alone.
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
};

/// Totals since construction.
struct PaceStats {
  std::int64_t frames = 0;   ///< calls to Wait()
  std::int64_t missed = 0;   ///< frames whose deadline had passed on arrival
  std::int64_t resyncs = 0;  ///< grid restarts after a stall
  std::int64_t spunNs = 0;   ///< total spin
  std::int64_t trials = 0;   ///< times it tried sleeping without a spin (see PaceMode)
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
/// The wait sleeps to an absolute time a margin before the deadline and
/// spins the rest. The margin follows the sleep overshoots seen so far (see
/// PaceMode) and never exceeds the spin budget's share of a period, so on
/// average the spin takes at most that share of a core. On Linux the sleep
/// is clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME) and the first sleep on
/// a thread sets that thread's timer slack to 1 ns; on Windows it is a
/// high-resolution waitable timer (Windows 10 1803 and later), or the
/// older waitable timer where that is missing.
///
/// When more threads are ready to run than the machine has cores, a thread
/// that sleeps a whole frame often waits milliseconds for a core when it
/// wakes; one that wakes every 2 ms gets it back at once far more often. So
/// once a frame the pacer looks (on Linux, at the count of runnable threads
/// in /proc/loadavg; elsewhere it never sees busy cores), in its spin when
/// 50 µs of it are left, where the read costs no more than the spin would,
/// else before the next sleep. Two busy readings within 8 frames are busy
/// cores (one alone is an idle machine's moment), and until 128 frames
/// after the last such pair it sleeps in steps of at most 2 ms to the
/// deadline itself, with no margin and no spin, as it does whenever it
/// sleeps alone. While it sleeps in steps, its thread asks for time slices
/// of 100 µs (Linux 6.12 and later; an ordinary thread on longer slices
/// only), so that a wake-up takes the core from the program running there
/// at once instead of waiting out that program's slice; the thread's own
/// slice is back before Wait() returns.
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

  /// The mode; also sets its default spin budget (see PaceMode).
  void SetMode(PaceMode mode);
  PaceMode Mode() const { return m_Mode; }
  /// The share of a core the spin may take, 0 (sleep only) to 1 (spin
  /// whole frames), with no limit per frame beyond it; false (and no
  /// change) for anything else, NaN included.
  bool SetSpinBudget(double shareOfCore);

  /// The next Wait() starts a new grid at its call time.
  void Restart() { m_Started = false; }

  /// Waits for the current frame's deadline; see the class comment.
  PaceResult Wait();

  /// The margin the next sleep will use, unless it finds the cores busy.
  std::int64_t MarginNs() const;
  const PaceStats& Stats() const { return m_Stats; }

private:
  static constexpr int kWindow = 256;
  // The first holds of a trial's outcome (see PaceMode), and the frame
  // number of a late frame not yet seen.
  static constexpr std::int64_t kFirstSleepHold = 1024;
  static constexpr std::int64_t kFirstSpinHold = 64;
  static constexpr std::int64_t kNoLateFrame = INT64_MIN / 2;

  void StartGridAt(std::int64_t t0);
  void TrySpinning(bool late);
  void LookAtCores();
  std::int64_t Deadline() const;
  void Record(std::int64_t overshootNs);

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
  std::int64_t m_MaxMarginNs = INT64_MAX;  // the mode's own limit, if any
  std::array<std::int64_t, kWindow> m_Overshoots{};
  int m_Seen = 0;            // overshoots recorded, up to kWindow
  int m_Next = 0;            // ring position of the next one
  std::int64_t m_Cover = 0;  // the margin the overshoots call for
  // Whether spinning pays (see TrySpinning): the phase, the frame number it
  // ends at (while spinning: before which no trial starts), the holds, the
  // frame numbers of the spin's last six late frames and the trial's
  // counts of them.
  enum class Phase { kSpin, kTrialSleep, kTrialSpin, kSleep };
  Phase m_Phase = Phase::kSpin;
  std::int64_t m_PhaseEnd = 0;
  std::int64_t m_SleepHold = kFirstSleepHold;
  std::int64_t m_SpinHold = kFirstSpinHold;
  std::array<std::int64_t, 6> m_LateFrames{
      {kNoLateFrame, kNoLateFrame, kNoLateFrame, kNoLateFrame, kNoLateFrame, kNoLateFrame}};
  std::size_t m_LateNext = 0;              // ring position of the next late frame
  std::int64_t m_BusyUntil = 0;            // sleeps are stepped before this frame (see Wait)
  std::int64_t m_LastBusyRead = -1000000;  // the last frame that read busy cores
  std::int64_t m_SpinReadFrame = -1;       // the last frame that read the cores in its spin
  int m_SleptLate = 0;                     // late frames of the trial, sleeping alone
  int m_SpunLate = 0;                      // and spinning
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
