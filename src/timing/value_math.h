// The time value's two conversions, each written first as the plain
// arithmetic that defines it and then as the shortcut the library runs.
// Every shortcut gives bit for bit the plain form's result over the range
// where it is taken; the argument stands beside it, and
// benchmarks/exactness_check.cpp compares the two forms over large samples.
#ifndef ZELTIMERS_SRC_TIMING_VALUE_MATH_H
#define ZELTIMERS_SRC_TIMING_VALUE_MATH_H

#include <cstdint>

namespace zel_value {

struct Fields {
  std::int32_t seconds;
  std::int32_t nanoseconds;
};

// Seconds from the fields: the nanoseconds times 1e-9 first, rounded to
// double, and the whole seconds added last.
inline double PlainSeconds(Fields f) {
  return static_cast<double>(f.nanoseconds) * 1e-9 + static_cast<double>(f.seconds);
}

// Shortcut: without whole seconds the sum is the product alone. x + 0.0 == x
// for every double but -0.0, and an integer times 1e-9 is never -0.0 (zero
// converts to +0.0). Saves the addition on the way to every sub-second
// reading.
inline double Seconds(Fields f) {
  if (f.seconds == 0) return static_cast<double>(f.nanoseconds) * 1e-9;
  return PlainSeconds(f);
}

// Fields from a finite number of seconds whose whole part fits in 32 bits:
// the whole seconds truncated toward zero, then the remainder times 1e9,
// truncated toward zero.
inline Fields PlainFields(double v) {
  const auto seconds = static_cast<std::int32_t>(v);
  return {seconds, static_cast<std::int32_t>((v - static_cast<double>(seconds)) * 1e9)};
}

// Shortcut: below one second in size the whole part is 0 and v - 0.0 == v
// (for -0.0 too), so the remainder is v itself. Saves a conversion to
// integer and back, and a subtraction, on the way to every sub-second
// reading.
inline Fields FieldsOf(double v) {
  if (v < 1.0 && v > -1.0) return {0, static_cast<std::int32_t>(v * 1e9)};
  return PlainFields(v);
}

}  // namespace zel_value

#endif
