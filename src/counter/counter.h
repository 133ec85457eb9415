// The platform's high-resolution counter, as the timers see it: a constant
// frequency and a monotonic count, both 64-bit integers on one time base.
//
// One source file per platform provides these; the build picks one. Each
// stores a defined value even on failure (0), so callers may ignore the
// result, and the frequency it reports is constant for the process.
#ifndef ZELTIMERS_SRC_COUNTER_COUNTER_H
#define ZELTIMERS_SRC_COUNTER_COUNTER_H

#include <cstdint>

namespace zel_counter {

/// Counts per second; stores 0 and returns false when there is no counter.
bool QueryPerformanceFrequency(std::int64_t* countsPerSecond);

/// The current count; stores 0 and returns false when it cannot be read.
bool QueryPerformanceCounter(std::int64_t* count);

}  // namespace zel_counter

#endif
