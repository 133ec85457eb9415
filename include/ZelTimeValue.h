// ZelTimers: CZelTimeValue, a span or point of time in whole seconds plus
// nanoseconds.
#ifndef ZELTIMERS_ZELTIMEVALUE_H
#define ZELTIMERS_ZELTIMEVALUE_H

#include <cstdint>

#include "ZelTimersExport.h"

/// A time value held as two signed 32-bit fields: whole seconds and
/// nanoseconds. The value is always `seconds + nanoseconds * 1e-9`.
///
/// The pair is not kept canonical: the nanoseconds may be negative or reach
/// 1000000000 and beyond (the operators carry at most once). Every operation
/// works on the represented value, whatever the pair.
///
/// Range: Set stores values in [-2147483648.999999999, 2147483647.999999999]
/// seconds. The operators work field by field, so a sum or difference may lie
/// beyond that, up to what the two fields hold together: 2147483647 s plus
/// 2147483647 ns (2147483649.147483647 s) at most, and as far below zero.
/// Precision: one nanosecond, finer parts truncated toward zero.
class ZELTIMERS_API CZelTimeValue {
public:
  /// Builds the value with Set(seconds). The default value is zero.
  CZelTimeValue(double seconds = 0.0);

  /// Copies both fields as they are, without normalising.
  CZelTimeValue(const CZelTimeValue& other) = default;
  /// Copies both fields as they are, without normalising.
  CZelTimeValue& operator=(const CZelTimeValue& other);

  /// The value in seconds: nanoseconds * 1e-9, rounded to double, plus the
  /// whole seconds. Always finite.
  double Get();

  /// Replaces both fields from a number of seconds. The whole seconds are
  /// `seconds` truncated toward zero, the nanoseconds the remainder times 1e9
  /// truncated toward zero, so neither field has the opposite sign to the
  /// value and |nanoseconds| < 1000000000.
  ///
  /// Limits: not-a-number stores zero (0, 0). A value whose whole part does
  /// not fit in 32 bits, and the infinities, saturate to the nearest end of
  /// the range: (2147483647, 999999999) above it, (-2147483648, -999999999)
  /// below it.
  void Set(double seconds);

  /// This value plus `other`, field by field; nanoseconds of 1000000000 or
  /// more carry once into the seconds, negative nanoseconds are left alone.
  /// Neither operand is changed.
  ///
  /// Limits: when a field of that result would leave the 32-bit range, the
  /// result is the exact sum in canonical form (as Set would store it), or,
  /// if the sum lies beyond Set's range, the nearest end of that range as
  /// for Set. The result never wraps around.
  CZelTimeValue operator+(CZelTimeValue& other);

  /// This value minus `other`, field by field; negative nanoseconds borrow
  /// once from the seconds, nanoseconds of 1000000000 or more are left alone.
  /// Neither operand is changed. Limits as for operator+.
  CZelTimeValue operator-(CZelTimeValue& other);

private:
  std::int32_t m_Seconds;
  std::int32_t m_Nanoseconds;
};

#endif
