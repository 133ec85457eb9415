// ZelTimers: CZelWallTimer, the timer over the platform's high-resolution
// performance counter.
#ifndef ZELTIMERS_ZELWALLTIMER_H
#define ZELTIMERS_ZELWALLTIMER_H

#include "ZelTimer.h"
#include "ZelTimersExport.h"

/// A wall-clock timer over the platform's performance counter
/// (QueryPerformanceCounter on Windows, CLOCK_MONOTONIC elsewhere). Clock
/// times are seconds since the counter's zero point: count / frequency.
///
/// Start() and Stop() each make exactly one counter read; the frequency is
/// read once, by the constructor. Readings are truncated to whole
/// nanoseconds.
///
/// Limits: if the platform reports no counter (a failing call or a
/// frequency of zero or below), the clock stands still at zero: Start()
/// records 0 and Stop() records minus the start time, never a non-finite
/// value. Clock times beyond about 68 years saturate as in CZelTimeValue.
class ZELTIMERS_API CZelWallTimer : public CZelTimer {
public:
  /// Zero start and elapsed times; reads the counter's frequency.
  CZelWallTimer();
  /// Copies the start time, the elapsed time and the frequency.
  CZelWallTimer(const CZelWallTimer& other);
  /// Copies the start time, the elapsed time and the frequency.
  CZelWallTimer& operator=(const CZelWallTimer& other);

  /// Stop(), then Get(precision): records a new reading and returns it in
  /// the unit, as CZelTimer::Get does.
  double Elapsed(EPrecisionType precision) override;
  /// Records the current clock time as the start time (one counter read).
  void Start() override;
  /// Records now minus the start time as the elapsed time (one counter
  /// read); the start time is kept.
  void Stop() override;

private:
  double m_CountsPerSecond;  ///< counter frequency, read at construction
};

#endif
