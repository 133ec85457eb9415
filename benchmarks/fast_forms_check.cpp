// Compares each shortcut the library takes with the plain form it stands
// for, over every input of its range or a large random sample of it, and
// prints one line per form. Exits 1 at the first difference. Run by hand or
// by CI's exactness stage (`zeltimers_fast_forms_check`); not part of make
// check, which tests the edges of each range instead.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "ZelFrameRate.h"
#include "timing/value_math.h"

namespace {

using zel_value::Fields;

bool Same(Fields a, Fields b) { return a.seconds == b.seconds && a.nanoseconds == b.nanoseconds; }

bool SameBits(double a, double b) {
  std::uint64_t x = 0, y = 0;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

int Fail(const char* form, double input) {
  std::printf("%s: differs from the plain form at %.17g\n", form, input);
  return 1;
}

}  // namespace

int main() {
  // Seconds without whole seconds: every 32-bit nanosecond count.
  for (std::int64_t n = INT32_MIN; n <= INT32_MAX; ++n) {
    const Fields f{0, static_cast<std::int32_t>(n)};
    if (!SameBits(zel_value::Seconds(f), zel_value::PlainSeconds(f)))
      return Fail("Seconds", static_cast<double>(n));
  }
  std::printf("Seconds: equal for all 2^32 nanosecond counts without whole seconds\n");

  // Fields below one second: every float in (-1, 1), as a double, then
  // random doubles of every exponent there.
  std::uint64_t checked = 0;
  for (std::uint32_t bits = 0; bits < 0x3F800000u; ++bits) {
    float magnitude;
    std::memcpy(&magnitude, &bits, sizeof magnitude);
    for (const double v : {static_cast<double>(magnitude), -static_cast<double>(magnitude)}) {
      if (!Same(zel_value::FieldsOf(v), zel_value::PlainFields(v))) return Fail("FieldsOf", v);
      ++checked;
    }
  }
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 200000000; ++i, ++checked) {
    std::uint64_t bits = random() & 0x3FFFFFFFFFFFFFFFull;  // exponents below 2^0
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (i & 1) v = -v;
    if (!Same(zel_value::FieldsOf(v), zel_value::PlainFields(v))) return Fail("FieldsOf", v);
  }
  std::printf("FieldsOf: equal for %llu values in (-1, 1), every float among them\n",
              static_cast<unsigned long long>(checked));

  // Histories: a meter on the real clock against histories trimmed one
  // sample at a time, at many lengths, across many compactions.
  std::uint64_t frames = 0;
  for (int length : {0, 1, 2, 3, 7, 16, 60, 61, 240, 1000}) {
    CZelFrameRate meter(length);
    std::vector<float> draws, swaps;
    for (int frame = 0; frame < 20 * (length + 2); ++frame, ++frames) {
      meter.FrameDrawStartNotice();
      meter.FrameDrawEndNotice();
      meter.SwapCallNotice();
      const std::vector<float> d = meter.GetDrawHistory(), s = meter.GetSwapHistory();
      if (!d.empty()) draws.push_back(d.back());
      if (!s.empty() && frame > 0) swaps.push_back(s.back());
      if (draws.size() > 4 * static_cast<std::size_t>(length)) draws.erase(draws.begin());
      if (swaps.size() > static_cast<std::size_t>(length)) swaps.erase(swaps.begin());
      if (d != draws || s != swaps || meter.GetBufferCount() != static_cast<int>(draws.size()))
        return Fail("histories", length);
    }
  }
  std::printf("histories: equal after each of %llu frames at 10 lengths from 0 to 1000\n",
              static_cast<unsigned long long>(frames));
  return 0;
}
