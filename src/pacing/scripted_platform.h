// A clock and a sleep the tests script. Linking scripted_platform.cpp in
// place of a platform file makes the pacer read this clock and sleep on it.
#ifndef ZELTIMERS_SRC_PACING_SCRIPTED_PLATFORM_H
#define ZELTIMERS_SRC_PACING_SCRIPTED_PLATFORM_H

#include <cstdint>
#include <vector>

namespace zel_scripted_pacing {

/// The clock's reading, and the step it moves by after every read (what a
/// spinning read costs).
void SetNow(std::int64_t ns);
std::int64_t Now();
void Advance(std::int64_t ns);
void SetStepPerRead(std::int64_t ns);

/// How far past its target each coming sleep wakes, in order (negative:
/// early); once they are used up, every sleep wakes `thereafter` ns late.
/// A sleep never takes the clock back.
void ScriptOvershoots(const std::vector<std::int64_t>& overshoots, std::int64_t thereafter = 0);

/// What CoresBusy() answers from now on, and how far each call moves the
/// clock (what reading the cores costs).
void SetCoresBusy(bool busy);
void SetCoresReadCost(std::int64_t ns);
/// CoresBusy() calls since the last Restore().
std::int64_t CoresReads();

/// From now on the thread's run-queue wait is known (it starts unknown),
/// and each sleep adds `perSleepNs` to it.
void ScriptRunQueueWait(std::int64_t perSleepNs);

/// Clock reads and sleeps since the last Restore(), the sleeps taken on
/// short slices, and whether the thread is on them now.
std::int64_t Reads();
std::int64_t Sleeps();
std::int64_t ShortSliceSleeps();
bool OnShortSlices();

/// Back to time 0, no step, no overshoot, counts cleared.
void Restore();

}  // namespace zel_scripted_pacing

#endif
