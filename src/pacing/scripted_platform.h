// A clock and a sleep the tests script. Linking scripted_platform.cpp in
// place of a platform file makes the pacer read this clock and sleep on it.
#ifndef ZELTIMERS_SRC_PACING_SCRIPTED_PLATFORM_H
#define ZELTIMERS_SRC_PACING_SCRIPTED_PLATFORM_H

#include <cstdint>
#include <vector>

namespace zel_scripted_pacing {

/// The clock's reading.
void SetNow(std::int64_t ns);
std::int64_t Now();
void Advance(std::int64_t ns);

/// How far past its target each coming sleep wakes, in order (negative:
/// early); once they are used up, every sleep wakes `thereafter` ns late.
/// A sleep never takes the clock back.
void ScriptOvershoots(const std::vector<std::int64_t>& overshoots, std::int64_t thereafter = 0);

/// The clock jumps by `ns` after `reads` more reads: the thread losing its
/// core for that long.
void StallAfterReads(std::int64_t reads, std::int64_t ns);

/// Clock reads since the last Restore().
std::int64_t Reads();
/// Sleeps that asked for the timer's own precision since the last Restore().
std::int64_t PreciseSleeps();

/// Back to time 0, no overshoot, counts cleared; the clock moves on by
/// `stepNs` after every read (what a spinning read costs).
void Restore(std::int64_t stepNs = 0);

}  // namespace zel_scripted_pacing

#endif
