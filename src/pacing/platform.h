// The platform under the pacer: a monotonic clock in nanoseconds, a sleep
// to a time on it, and the CPU's pause for spinning.
//
// One source file per platform provides these; the build picks one. The
// tests link scripted_platform.cpp instead and decide when every sleep
// wakes.
#ifndef ZELTIMERS_SRC_PACING_PLATFORM_H
#define ZELTIMERS_SRC_PACING_PLATFORM_H

#include <cstdint>
#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#endif

namespace zel_pacing_platform {

/// Monotonic nanoseconds since an unspecified start.
std::int64_t Now();

/// Sleeps until Now() reaches `deadlineNs`, as well as the platform can: it
/// may wake late, and (on a signal) early. Returns at once for a time that
/// has passed. `precise` asks for the timer's own precision for this sleep
/// (on Linux a timer slack of 1 ns); either way the thread's settings are
/// as they were when it returns.
void SleepUntil(std::int64_t deadlineNs, bool precise);

/// CPU time the calling thread has used, in nanoseconds.
std::int64_t ThreadCpuNs();

/// Tells the CPU the thread is spinning: a core shared with another
/// hardware thread gives it the time, and the loop draws less power.
inline void Pause() {
#if defined(__i386__) || defined(__x86_64__)
  __asm__ __volatile__("pause");
#elif defined(__aarch64__) || (defined(__arm__) && __ARM_ARCH >= 7)
  __asm__ __volatile__("yield");
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_pause();
#endif
}

}  // namespace zel_pacing_platform

#endif
