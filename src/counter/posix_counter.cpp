// POSIX counter: nanoseconds of CLOCK_MONOTONIC.
#include <ctime>

#include "counter.h"

namespace zel_counter {

bool QueryPerformanceFrequency(std::int64_t* countsPerSecond) {
  *countsPerSecond = 1000000000;
  return true;
}

bool QueryPerformanceCounter(std::int64_t* count) {
  timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
    *count = 0;
    return false;
  }
  *count = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  return true;
}

}  // namespace zel_counter
