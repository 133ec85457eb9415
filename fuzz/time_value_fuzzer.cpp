// CZelTimeValue from arbitrary doubles and arbitrary field pairs.
//
// Input: records of one double (any bit pattern) and two (seconds,
// nanoseconds) pairs of int32, read until the input runs out.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "ZelTimeValue.h"
#include "fuzz_support.h"

using namespace zel_fuzz;

namespace {

void CheckSet(double seconds) {
  CZelTimeValue value(seconds);
  const auto fields = Fields(value);
  RequireRoundTrip(seconds, value.Get(), "Set then Get round-trips");
  if (std::isnan(seconds)) {
    Require(fields.first == 0 && fields.second == 0, "NaN stores zero");
  } else if (seconds >= 2147483648.0) {
    Require(Total(value) == kMaxTotal, "large values saturate at the top");
  } else if (seconds <= -2147483649.0) {
    Require(Total(value) == kMinTotal, "small values saturate at the bottom");
  } else {
    Require(static_cast<double>(fields.first) == std::trunc(seconds), "seconds truncated");
    Require(fields.second > -kNanos && fields.second < kNanos, "nanoseconds below one second");
    Require(!(fields.second > 0 && seconds < 0.0) && !(fields.second < 0 && seconds > 0.0),
            "nanoseconds carry the value's sign");
  }
  CZelTimeValue copy;
  copy = value;
  Require(Fields(copy) == fields, "assignment copies both fields");
}

// Field-wise result with one carry (sum) or one borrow (difference), the form
// kept whenever both fields fit in 32 bits.
void CheckOperators(CZelTimeValue a, CZelTimeValue b) {
  const auto fa = Fields(a);
  const auto fb = Fields(b);
  Require(std::isfinite(a.Get()) && std::isfinite(b.Get()), "Get is finite for any pair");

  const CZelTimeValue sum = a + b;
  const CZelTimeValue difference = a - b;
  Require(Fields(a) == fa && Fields(b) == fb, "operands are unchanged");
  RequireExactOrSaturated(sum, Total(a) + Total(b), "sum exact or saturated");
  RequireExactOrSaturated(difference, Total(a) - Total(b), "difference exact or saturated");

  std::int64_t seconds = std::int64_t{fa.first} + fb.first;
  std::int64_t nanos = std::int64_t{fa.second} + fb.second;
  if (nanos >= kNanos) {
    seconds += 1;
    nanos -= kNanos;
  }
  if (seconds >= kMinSeconds && seconds <= kMaxSeconds && nanos >= kMinSeconds &&
      nanos <= kMaxSeconds) {
    Require(Fields(sum) == std::make_pair(static_cast<std::int32_t>(seconds),
                                          static_cast<std::int32_t>(nanos)),
            "sum carries once");
  }
  seconds = std::int64_t{fa.first} - fb.first;
  nanos = std::int64_t{fa.second} - fb.second;
  if (nanos < 0) {
    seconds -= 1;
    nanos += kNanos;
  }
  if (seconds >= kMinSeconds && seconds <= kMaxSeconds && nanos >= kMinSeconds &&
      nanos <= kMaxSeconds) {
    Require(Fields(difference) == std::make_pair(static_cast<std::int32_t>(seconds),
                                                 static_cast<std::int32_t>(nanos)),
            "difference borrows once");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader in(data, size);
  do {
    CheckSet(in.Take<double>());
    const auto s1 = in.Take<std::int32_t>();
    const auto n1 = in.Take<std::int32_t>();
    const auto s2 = in.Take<std::int32_t>();
    const auto n2 = in.Take<std::int32_t>();
    CheckOperators(MakeValue(s1, n1), MakeValue(s2, n2));
  } while (!in.Empty());
  return 0;
}
