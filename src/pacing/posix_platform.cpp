// POSIX: CLOCK_MONOTONIC, and clock_nanosleep to an absolute time on it;
// where that is missing (macOS), or ZELPACING_RELATIVE_SLEEP asks for it,
// a relative nanosleep for what is left.
#include <ctime>

#include "platform.h"
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#if !defined(TIMER_ABSTIME) && !defined(ZELPACING_RELATIVE_SLEEP)
#define ZELPACING_RELATIVE_SLEEP 1
#endif

namespace zel_pacing_platform {

namespace {

constexpr std::int64_t kNanos = 1000000000;

std::int64_t Read(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<std::int64_t>(now.tv_sec) * kNanos + now.tv_nsec;
}

timespec AsTimespec(std::int64_t ns) {
  timespec t{};
  t.tv_sec = static_cast<time_t>(ns / kNanos);
  t.tv_nsec = static_cast<long>(ns % kNanos);
  return t;
}

}  // namespace

std::int64_t Now() { return Read(CLOCK_MONOTONIC); }

std::int64_t ThreadCpuNs() { return Read(CLOCK_THREAD_CPUTIME_ID); }

void SleepUntil(std::int64_t deadlineNs, bool precise) {
#if defined(__linux__)
  // The default slack of 50 µs lets the kernel fold the wake-up into a
  // later timer's; a precise sleep asks for the timer's own precision and
  // gives the thread its own slack back afterwards.
  const int slack = precise ? prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL) : 0;
  if (slack > 1) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#else
  (void)precise;  // no timer slack to ask for
#endif
#if defined(ZELPACING_RELATIVE_SLEEP)
  const std::int64_t left = deadlineNs - Now();
  if (left > 0) {
    const timespec length = AsTimespec(left);
    nanosleep(&length, nullptr);  // interrupted: returns early, the pacer sleeps again
  }
#else
  if (deadlineNs > 0) {
    const timespec until = AsTimespec(deadlineNs);
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
  }
#endif
#if defined(__linux__)
  if (slack > 1) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0UL, 0UL, 0UL);
#endif
}

}  // namespace zel_pacing_platform
