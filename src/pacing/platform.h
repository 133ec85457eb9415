// The platform under the pacer: a monotonic clock in nanoseconds and an
// absolute sleep on the same clock.
//
// One source file per platform provides these; the build picks one. The
// tests link scripted_platform.cpp instead and decide when every sleep
// wakes.
#ifndef ZELTIMERS_SRC_PACING_PLATFORM_H
#define ZELTIMERS_SRC_PACING_PLATFORM_H

#include <cstdint>

namespace zel_pacing_platform {

/// Monotonic nanoseconds since an unspecified start.
std::int64_t Now();

/// Sleeps until Now() reaches `deadlineNs`, as well as the platform can: it
/// may wake late, and (on a signal) early. Returns at once for a time that
/// has passed.
void SleepUntil(std::int64_t deadlineNs);

/// CPU time the calling thread has used, in nanoseconds.
std::int64_t ThreadCpuNs();

/// Whether, at this moment, more threads are running or ready to run on
/// the whole machine than it has cores (the caller counted): a thread that
/// sleeps now will queue for a core when it wakes. False where the platform
/// does not tell.
bool CoresBusy();

/// How long the calling thread has been ready to run but waiting for a
/// core, in all, in nanoseconds: what a wake-up that came late waited for
/// the cores (a loaded machine) rather than for its timer (an idle virtual
/// machine's stalls). -1 where the platform does not tell.
std::int64_t RunQueueWaitNs();

/// Asks the scheduler for short time slices for the calling thread (on),
/// or gives it back the slices it had before (off). A thread on short
/// slices that wakes on a busy core takes it from the thread running there
/// at once, where one on the default slice often waits out that thread's
/// slice. Does nothing where the platform has no such request.
void ShortSlices(bool on);

}  // namespace zel_pacing_platform

#endif
