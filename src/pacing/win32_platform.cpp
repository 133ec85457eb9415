// Windows: the performance counter, and a waitable timer per thread.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform.h"

// Windows 10 1803 and later; older SDK headers lack the name.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace zel_pacing_platform {

namespace {

constexpr std::int64_t kNanos = 1000000000;

std::int64_t Frequency() {
  LARGE_INTEGER value;
  static const std::int64_t frequency =
      ::QueryPerformanceFrequency(&value) != 0 && value.QuadPart > 0 ? value.QuadPart : 1;
  return frequency;
}

// One timer per thread, closed when the thread ends. The high-resolution
// timer wakes within a fraction of a millisecond; where the system refuses
// it, the plain one still works, at the scheduler's tick.
class ThreadTimer {
public:
  ThreadTimer() : m_Handle(Create()) {}
  ~ThreadTimer() {
    if (m_Handle != nullptr) CloseHandle(m_Handle);
  }
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;
  HANDLE Handle() const { return m_Handle; }

private:
  static HANDLE Create() {
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    return timer != nullptr ? timer : CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
  }

  HANDLE m_Handle;
};

}  // namespace

std::int64_t Now() {
  LARGE_INTEGER count;
  if (::QueryPerformanceCounter(&count) == 0) return 0;
  // Split so that count * 1e9 cannot overflow.
  const std::int64_t frequency = Frequency();
  const std::int64_t whole = count.QuadPart / frequency;
  const std::int64_t part = count.QuadPart % frequency;
  return whole * kNanos + part * kNanos / frequency;
}

std::int64_t ThreadCpuNs() {
  FILETIME created, exited, kernel, user;
  if (GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user) == 0) return 0;
  const auto ticks = [](const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                     t.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) * 100;
}

void SleepUntil(std::int64_t deadlineNs, bool /*precise: the timer is*/) {
  thread_local ThreadTimer timer;
  const std::int64_t remaining = deadlineNs - Now();
  if (remaining <= 0) return;
  if (timer.Handle() == nullptr) {
    Sleep(static_cast<DWORD>(remaining / 1000000));
    return;
  }
  // The timer takes a relative time as a negative count of 100 ns, rounded
  // up so that it does not fire before the deadline.
  LARGE_INTEGER due;
  due.QuadPart = -((remaining + 99) / 100);
  if (SetWaitableTimer(timer.Handle(), &due, 0, nullptr, nullptr, FALSE) != 0)
    WaitForSingleObject(timer.Handle(), INFINITE);
}

}  // namespace zel_pacing_platform
