// ZelTimers: CZelTimer, the abstract base of all timers.
#ifndef ZELTIMERS_ZELTIMER_H
#define ZELTIMERS_ZELTIMER_H

#include <string>

#include "ZelTimeValue.h"
#include "ZelTimersExport.h"

/// The abstract timer: a start time and an elapsed time, both in seconds on
/// the subclass's clock, and the operations that need no clock.
///
/// There is no running or stopped state: Stop() records a reading measured
/// from the start time and may be called again for a later reading.
/// Copies carry both time values, so a copy goes on measuring from the same
/// start. The class has no virtual destructor: do not delete a timer through
/// a CZelTimer pointer.
class ZELTIMERS_API CZelTimer {
public:
  /// The unit of a result. Only the values 1 to 5 have a meaning; each
  /// operation says what it does with any other value. The underlying type
  /// is fixed so that every int converts to it with defined behaviour.
  enum EPrecisionType : int {
    eMilliseconds = 1,  ///< milliseconds
    eSeconds = 2,       ///< seconds
    eMinutes = 3,       ///< minutes
    eHours = 4,         ///< hours
    eAutomatic = 5,     ///< a unit chosen from the size of the value (Report only)
  };

  /// Both time values zero.
  CZelTimer();
  /// Copies the start time and the elapsed time.
  CZelTimer(const CZelTimer& other);
  /// Copies the start time and the elapsed time; the object keeps its class.
  CZelTimer& operator=(const CZelTimer& other);

  /// Takes a reading (as Stop) and returns the elapsed time in `precision`.
  virtual double Elapsed(EPrecisionType precision) = 0;
  /// Records the current clock time as the start time.
  virtual void Start() = 0;
  /// Records the time passed since the start time as the elapsed time. The
  /// start time is kept, so later calls measure from the same start.
  virtual void Stop() = 0;

  /// Sets the elapsed time to zero. The start time is untouched: this does
  /// not restart the timer.
  void Reset();

  /// Sets the elapsed time from a number of seconds, with the truncation and
  /// limits of CZelTimeValue::Set (NaN reads as zero, values beyond about
  /// +/-68 years saturate).
  void Set(double seconds);

  /// Adds `seconds` (truncated to whole nanoseconds) to the start time, so
  /// the next Stop() records that much less. Negative values move the start
  /// earlier. Limits as for CZelTimeValue::operator+: the start time
  /// saturates instead of wrapping.
  void AdjustStartTime(double seconds);

  /// The elapsed time recorded by the last Stop(), Set() or Reset(), without
  /// taking a reading: milliseconds (eMilliseconds, the seconds times 1000),
  /// minutes (eMinutes, times 0.016666666666666666), hours (eHours, times
  /// 0.0002777777777777778), and seconds for eSeconds, eAutomatic and any
  /// other value. Always finite.
  double Get(EPrecisionType precision);

  /// The recorded elapsed time as text, without taking a reading: "%.1f"
  /// of the value in the unit followed by one blank and the unit word
  /// ("12.3 milliseconds", "90.0 seconds", "1.5 minutes", "0.0 hours").
  /// eAutomatic picks the unit from the size of the value (see below).
  /// Any value outside 1 to 5 gives the number of seconds and one blank,
  /// with no unit word ("2.5 "). The decimal point is always '.', whatever
  /// the host's locale. At most 29 characters.
  std::string Report(EPrecisionType precision);

  /// Stop(), then Report(precision): one reading, reported at once.
  std::string ReportElapsed(EPrecisionType precision);

protected:
  CZelTimeValue m_StartTime;    ///< clock time of the last Start(), as adjusted
  CZelTimeValue m_ElapsedTime;  ///< seconds recorded by Stop(), Set() or Reset()

private:
  /// The automatic unit: the first of milliseconds (below 1 s, negative
  /// values included), seconds (below 60 s), minutes (below 3600 s), hours
  /// (below 86400 s) and days, tested with strict less-than on the unscaled
  /// seconds, so a value exactly at a threshold takes the larger unit. Days
  /// have two decimals ("1.50 days"); the other units one.
  std::string ReportAutoTime(CZelTimeValue& value);
};

#endif
