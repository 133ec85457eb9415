// Helpers shared by the fuzz harnesses.
#ifndef ZELTIMERS_FUZZ_FUZZ_SUPPORT_H
#define ZELTIMERS_FUZZ_FUZZ_SUPPORT_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "../tests/value_fields.h"
#include "ZelTimeValue.h"
#include "ZelWallTimer.h"

namespace zel_fuzz {

constexpr std::int64_t kNanos = 1000000000;
constexpr std::int32_t kMaxSeconds = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinSeconds = std::numeric_limits<std::int32_t>::min();
// The ends of the range, in nanoseconds, where results saturate.
constexpr std::int64_t kMaxTotal = kMaxSeconds * kNanos + (kNanos - 1);
constexpr std::int64_t kMinTotal = kMinSeconds * kNanos - (kNanos - 1);

// A broken property is a crash, so libFuzzer keeps the input.
inline void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

// Reads fixed-size values from the front of the input; past its end every
// byte reads as zero.
class Reader {
public:
  Reader(const std::uint8_t* data, std::size_t size) : m_Data(data), m_Size(size) {}
  bool Empty() const { return m_Size == 0; }

  template <typename T>
  T Take() {
    unsigned char bytes[sizeof(T)] = {};
    for (std::size_t i = 0; i < sizeof(T) && m_Size > 0; ++i, --m_Size) bytes[i] = *m_Data++;
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }

private:
  const std::uint8_t* m_Data;
  std::size_t m_Size;
};

// The represented value in whole nanoseconds; exact for any pair.
inline std::int64_t Total(const CZelTimeValue& value) {
  const auto fields = Fields(value);
  return fields.first * kNanos + fields.second;
}

// A sum or difference is exact, or pinned to the end of the range it passed;
// it never wraps around.
inline void RequireExactOrSaturated(const CZelTimeValue& result, std::int64_t exact,
                                    const char* what) {
  const std::int64_t got = Total(result);
  Require(got == exact || (exact > kMaxTotal && got == kMaxTotal) ||
              (exact < kMinTotal && got == kMinTotal),
          what);
}

// Set(seconds) followed by Get() returns `seconds` to within one nanosecond
// plus one step of a double of that size. Outside the range only finiteness
// is promised.
inline void RequireRoundTrip(double seconds, double got, const char* what) {
  Require(std::isfinite(got), what);
  if (!(seconds < 2147483648.0 && seconds > -2147483649.0)) return;
  const double magnitude = std::fabs(seconds);
  const double step = std::nextafter(magnitude, 2.0 * magnitude + 1.0) - magnitude;
  Require(std::fabs(got - seconds) <= 1.000001e-9 + step, what);
}

// A wall timer whose start time the harnesses can read.
class ProbeTimer : public CZelWallTimer {
public:
  CZelTimeValue& start() { return m_StartTime; }
};

}  // namespace zel_fuzz

#endif
