#include "ZelTimeValue.h"

#include <cstdint>
#include <limits>

#include "value_math.h"

namespace {

constexpr std::int64_t kNanosPerSecond = 1000000000;
constexpr std::int32_t kMaxSeconds = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinSeconds = std::numeric_limits<std::int32_t>::min();

// Bounds of the canonical range, in nanoseconds.
constexpr std::int64_t kMaxTotal = kMaxSeconds * kNanosPerSecond + (kNanosPerSecond - 1);
constexpr std::int64_t kMinTotal = kMinSeconds * kNanosPerSecond - (kNanosPerSecond - 1);

bool FitsInt32(std::int64_t v) { return v >= kMinSeconds && v <= kMaxSeconds; }

}  // namespace

CZelTimeValue::CZelTimeValue(double seconds) : m_Seconds(0), m_Nanoseconds(0) { Set(seconds); }

CZelTimeValue& CZelTimeValue::operator=(const CZelTimeValue& other) = default;

double CZelTimeValue::Get() { return zel_value::Seconds({m_Seconds, m_Nanoseconds}); }

void CZelTimeValue::Set(double seconds) {
  // Written as negated range tests so that NaN takes the first branch.
  if (!(seconds == seconds)) {
    m_Seconds = 0;
    m_Nanoseconds = 0;
  } else if (!(seconds < 2147483648.0)) {
    m_Seconds = kMaxSeconds;
    m_Nanoseconds = kNanosPerSecond - 1;
  } else if (!(seconds > -2147483649.0)) {
    m_Seconds = kMinSeconds;
    m_Nanoseconds = -(kNanosPerSecond - 1);
  } else {
    // The remainder is exact and below 1 in size, and its product with 1e9
    // rounds to at most 999999999.99999988, so the conversion cannot overflow.
    const zel_value::Fields fields = zel_value::FieldsOf(seconds);
    m_Seconds = fields.seconds;
    m_Nanoseconds = fields.nanoseconds;
  }
}

namespace {

// Stores the field-wise result when both fields fit, and the exact value
// (canonical or saturated) when one does not, so nothing ever wraps.
void StoreFields(std::int64_t seconds, std::int64_t nanos, std::int32_t& outSeconds,
                 std::int32_t& outNanos) {
  if (FitsInt32(seconds) && FitsInt32(nanos)) {
    outSeconds = static_cast<std::int32_t>(seconds);
    outNanos = static_cast<std::int32_t>(nanos);
    return;
  }
  std::int64_t total = seconds * kNanosPerSecond + nanos;
  if (total > kMaxTotal) total = kMaxTotal;
  if (total < kMinTotal) total = kMinTotal;
  outSeconds = static_cast<std::int32_t>(total / kNanosPerSecond);
  outNanos = static_cast<std::int32_t>(total % kNanosPerSecond);
}

}  // namespace

CZelTimeValue CZelTimeValue::operator+(CZelTimeValue& other) {
  std::int64_t seconds = std::int64_t{m_Seconds} + other.m_Seconds;
  std::int64_t nanos = std::int64_t{m_Nanoseconds} + other.m_Nanoseconds;
  if (nanos >= kNanosPerSecond) {
    seconds += 1;
    nanos -= kNanosPerSecond;
  }
  CZelTimeValue result;
  StoreFields(seconds, nanos, result.m_Seconds, result.m_Nanoseconds);
  return result;
}

CZelTimeValue CZelTimeValue::operator-(CZelTimeValue& other) {
  std::int64_t seconds = std::int64_t{m_Seconds} - other.m_Seconds;
  std::int64_t nanos = std::int64_t{m_Nanoseconds} - other.m_Nanoseconds;
  if (nanos < 0) {
    seconds -= 1;
    nanos += kNanosPerSecond;
  }
  CZelTimeValue result;
  StoreFields(seconds, nanos, result.m_Seconds, result.m_Nanoseconds);
  return result;
}
