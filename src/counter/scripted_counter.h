// A counter the tests step by hand. Linking scripted_counter.cpp in place of
// a platform counter makes every timer read these values.
#ifndef ZELTIMERS_SRC_COUNTER_SCRIPTED_COUNTER_H
#define ZELTIMERS_SRC_COUNTER_SCRIPTED_COUNTER_H

#include <cstdint>

namespace zel_scripted {

/// Frequency reported from now on (0 = no counter) and whether the call
/// succeeds; a failing call reports 0.
void SetFrequency(std::int64_t countsPerSecond, bool ok = true);
/// Current count, and a step added to it after every read.
void SetCount(std::int64_t count);
void Advance(std::int64_t counts);
void SetStepPerRead(std::int64_t counts);

/// Number of counter and frequency reads since the last ResetReads().
std::int64_t CounterReads();
std::int64_t FrequencyReads();
void ResetReads();

/// Back to a frequency of 1e9, count 0, no step, reads cleared.
void Restore();

}  // namespace zel_scripted

#endif
