// POSIX: CLOCK_MONOTONIC, and clock_nanosleep to an absolute time on it.
#include <ctime>

#include "platform.h"
#if defined(__linux__)
#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace zel_pacing_platform {

namespace {

constexpr std::int64_t kNanos = 1000000000;
// Past this the digits would overflow; no thread waits 29 years.
constexpr std::int64_t kMaxWaitedNs = (std::int64_t{1} << 62) / 10;

std::int64_t Read(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<std::int64_t>(now.tv_sec) * kNanos + now.tv_nsec;
}

}  // namespace

std::int64_t Now() { return Read(CLOCK_MONOTONIC); }

std::int64_t ThreadCpuNs() { return Read(CLOCK_THREAD_CPUTIME_ID); }

void SleepUntil(std::int64_t deadlineNs) {
#if defined(__linux__)
  // The default slack of 50 µs would let the kernel fold the wake-up into a
  // later timer; the pacer's margin is sized by what it sees, so it wants
  // the timer's own precision. Set once per thread.
  thread_local const bool slackSet = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
  static_cast<void>(slackSet);
#endif
  if (deadlineNs <= 0) return;
  timespec until{};
  until.tv_sec = static_cast<time_t>(deadlineNs / kNanos);
  until.tv_nsec = static_cast<long>(deadlineNs % kNanos);
  // An interrupted sleep returns early; the pacer sleeps again.
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
}

bool CoresBusy() {
#if defined(__linux__)
  // The fourth field of /proc/loadavg is "running/threads": the threads
  // running or runnable right now, on every core. Opened once and read in
  // place: 3 µs of CPU when read again at once, up to 20 µs as the first
  // read after a long sleep.
  static const int file = open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
  static const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  if (file < 0 || cores < 1) return false;
  char text[128];
  const ssize_t length = pread(file, text, sizeof text - 1, 0);
  if (length <= 0) return false;
  long running = 0;
  int spaces = 0;
  for (ssize_t i = 0; i < length && text[i] != '/'; ++i) {
    if (text[i] == ' ') {
      ++spaces;
    } else if (spaces == 3 && text[i] >= '0' && text[i] <= '9' && running < 1000000) {
      running = running * 10 + (text[i] - '0');
    }
  }
  return running > cores;
#else
  return false;
#endif
}

std::int64_t RunQueueWaitNs() {
#if defined(__linux__)
  // The second field of the thread's schedstat is the time it spent on a
  // run queue, waiting for a core. Each thread opens its own file once.
  struct File {
    int fd = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() {
      if (fd >= 0) close(fd);
    }
  };
  thread_local const File file;
  if (file.fd < 0) return -1;
  char text[96];
  const ssize_t length = pread(file.fd, text, sizeof text - 1, 0);
  std::int64_t waited = 0;
  int field = 0;
  for (ssize_t i = 0; i < length && field < 2; ++i) {
    if (text[i] == ' ' || text[i] == '\n') {
      ++field;
    } else if (field == 1) {
      if (text[i] < '0' || text[i] > '9' || waited > kMaxWaitedNs) return -1;
      waited = waited * 10 + (text[i] - '0');
    }
  }
  return field >= 1 && length > 0 ? waited : -1;
#else
  return -1;
#endif
}

#if defined(__linux__)
namespace {

// The shortest slice the scheduler grants an ordinary thread (Linux 6.12
// and later; older kernels report no slice, and the pacer leaves those
// alone).
constexpr std::uint64_t kShortSliceNs = 100000;

// The kernel's struct sched_attr (its header clashes with <sched.h> on
// older C libraries). For an ordinary thread `runtime` is its slice.
struct SchedAttr {
  std::uint32_t size;
  std::uint32_t policy;
  std::uint64_t flags;
  std::int32_t nice;
  std::uint32_t priority;
  std::uint64_t runtime;
  std::uint64_t deadline;
  std::uint64_t period;
  std::uint32_t utilMin;
  std::uint32_t utilMax;
};

// The thread's own scheduling attributes while it is on short slices.
struct SavedSlices {
  bool saved = false;
  SchedAttr attr{};
};
thread_local SavedSlices savedSlices;

}  // namespace
#endif

void ShortSlices(bool on) {
#if defined(__linux__)
  SavedSlices& saved = savedSlices;
  if (!on) {
    if (saved.saved) syscall(SYS_sched_setattr, 0, &saved.attr, 0U);
    saved.saved = false;
    return;
  }
  SchedAttr attr{};
  if (syscall(SYS_sched_getattr, 0, &attr, static_cast<unsigned>(sizeof attr), 0U) != 0) return;
  // Only an ordinary thread on a longer slice (so not one already on short
  // slices): a real-time one takes the core anyway. Its other attributes
  // (nice, reset on fork) stay as they are, and ShortSlices(false) puts
  // back the slice it had.
  if (attr.policy != SCHED_OTHER || attr.runtime <= kShortSliceNs) return;
  SchedAttr shorter = attr;
  shorter.runtime = kShortSliceNs;
  if (syscall(SYS_sched_setattr, 0, &shorter, 0U) != 0) return;
  saved.attr = attr;
  saved.saved = true;
#else
  static_cast<void>(on);
#endif
}

}  // namespace zel_pacing_platform
