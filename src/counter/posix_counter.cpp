// POSIX counter: nanoseconds of CLOCK_MONOTONIC.
#include <cstdint>
#include <ctime>
#include <limits>

#include "counter.h"

namespace zel_counter {

bool QueryPerformanceFrequency(std::int64_t* countsPerSecond) {
  *countsPerSecond = 1000000000;
  return true;
}

bool QueryPerformanceCounter(std::int64_t* count) {
  constexpr std::int64_t kNanos = 1000000000;
  constexpr std::int64_t kMaxSeconds = std::numeric_limits<std::int64_t>::max() / kNanos - 1;
  timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
    *count = 0;
    return false;
  }
  // Beyond about 292 years either way the count would overflow 64 bits: it
  // stops at the end of the range instead.
  const std::int64_t seconds = now.tv_sec;
  if (seconds > kMaxSeconds) {
    *count = std::numeric_limits<std::int64_t>::max();
  } else if (seconds < -kMaxSeconds) {
    *count = std::numeric_limits<std::int64_t>::min();
  } else {
    *count = seconds * kNanos + now.tv_nsec;
  }
  return true;
}

}  // namespace zel_counter
