// FramePacer over the real clock and sleep: never early, and on time and on
// rate as far as a shared machine allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "ZelPacing/FramePacer.h"
#include "platform.h"

#if defined(__linux__)
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

TEST(RealClock, PacesOnTheDeadlineNeverBefore) {
  constexpr double kFps = 144.0;
  constexpr int kFrames = 144;
  // A busy machine takes the CPU away for milliseconds, and the pacer
  // stops spinning when it sees the cores busy: a run with a frame over
  // 1 ms late, or one that slept without a margin, is tried again, and only
  // when every run is disturbed so is the result not judged. Never-early
  // holds in every run.
  bool disturbed = true;
  for (int attempt = 0; attempt < 3; ++attempt) {
    zel_pacing::FramePacer pacer(kFps);
    // Room to cover a coarser timer than Linux's: Wine's waitable timer
    // wakes 0.2 to 2 ms late, far beyond the default 2.5 % of a period.
    // Where the timer is finer the margin stays as small as it needs.
    pacer.SetSpinBudget(0.5);
    std::vector<std::int64_t> late;
    bool sawBusyCores = false;
    const std::int64_t first = pacer.Wait().returnedNs;
    std::int64_t last = first;
    for (int frame = 1; frame <= kFrames; ++frame) {
      const zel_pacing::PaceResult r = pacer.Wait();
      ASSERT_GE(zel_pacing::ClockNs(), r.deadlineNs) << "frame " << frame;
      ASSERT_GE(r.returnedNs, r.deadlineNs) << "frame " << frame;
      late.push_back(r.lateNs);
      sawBusyCores = sawBusyCores || (r.slept && r.marginNs == 0);
      last = r.returnedNs;
    }
    const std::int64_t longest = *std::max_element(late.begin(), late.end());
    std::nth_element(late.begin(), late.begin() + kFrames / 2, late.end());
    const std::int64_t p50 = late[kFrames / 2];
    const double rate = 1e9 * kFrames / static_cast<double>(last - first);
    const bool ok = p50 <= 20000 && rate > kFps * 0.999 && rate < kFps * 1.001;
    if (ok) return;
    disturbed = disturbed && (longest > 1000000 || sawBusyCores);
    std::printf("run %d: p50 %lld ns, max %lld ns, %.3f fps\n", attempt,
                static_cast<long long>(p50), static_cast<long long>(longest), rate);
  }
  if (disturbed) GTEST_SKIP() << "every run was disturbed by the machine's load";
  FAIL() << "median lateness or average rate out of bounds in three runs";
}

#if defined(__linux__)
// The calling thread's slice and nice value, as the scheduler reports them
// (struct sched_attr: sched_nice at byte 16, sched_runtime, the slice, at 24).
struct Scheduling {
  std::uint64_t slice = 0;
  std::int32_t nice = 0;
};
Scheduling ThreadScheduling() {
  alignas(8) unsigned char attr[56] = {};
  EXPECT_EQ(syscall(SYS_sched_getattr, 0, attr, static_cast<unsigned>(sizeof attr), 0U), 0);
  Scheduling s;
  std::memcpy(&s.nice, attr + 16, sizeof s.nice);
  std::memcpy(&s.slice, attr + 24, sizeof s.slice);
  return s;
}

// On a thread of its own, whose nice value it raises.
TEST(RealClock, ShortSlicesComeAndGoKeepingTheNiceValue) {
  std::thread([] {
    ASSERT_EQ(setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 3), 0);
    const Scheduling own = ThreadScheduling();
    ASSERT_EQ(own.nice, 3);
    // Kernels before 6.12 report no slice, and are left alone.
    if (own.slice <= 100000) GTEST_SKIP() << "no slice to shorten: " << own.slice << " ns";
    zel_pacing_platform::ShortSlices(true);
    zel_pacing_platform::ShortSlices(true);  // a second request changes nothing
    EXPECT_EQ(ThreadScheduling().slice, 100000U);
    EXPECT_EQ(ThreadScheduling().nice, 3);
    zel_pacing_platform::ShortSlices(false);
    EXPECT_EQ(ThreadScheduling().slice, own.slice);
    EXPECT_EQ(ThreadScheduling().nice, 3);
  }).join();
}

// With a process of a lower priority spinning on the same core, the thread
// runs for most of the time and waits for the core the rest: the count is
// that wait, not the time run. The spinning process is a shell of its own
// (a forked copy of this one would report to a memory checker as well).
TEST(RealClock, CountsTheTimeTheThreadWaitsForACore) {
  constexpr std::int64_t kMs = 1000000;
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const pid_t other = fork();  // on the same core
  if (other == 0) {
    static_cast<void>(setpriority(PRIO_PROCESS, 0, 10));
    execl("/bin/sh", "sh", "-c", "while :; do :; done", static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::int64_t waited0 = zel_pacing_platform::RunQueueWaitNs();
  const std::int64_t cpu0 = zel_pacing::ThreadCpuNs();
  const std::int64_t wall0 = zel_pacing::ClockNs();
  for (const std::int64_t end = wall0 + 200 * kMs; zel_pacing::ClockNs() < end;) {
  }
  const std::int64_t waited = zel_pacing_platform::RunQueueWaitNs() - waited0;
  const std::int64_t notRun = zel_pacing::ClockNs() - wall0 - (zel_pacing::ThreadCpuNs() - cpu0);
  if (other > 0) {
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
  ASSERT_GT(other, 0);
  ASSERT_GE(waited0, 0);
  if (notRun < 5 * kMs) GTEST_SKIP() << "the core was not shared";
  const std::int64_t tolerance = notRun / 2 + 2 * kMs;
  EXPECT_NEAR(static_cast<double>(waited), static_cast<double>(notRun),
              static_cast<double>(tolerance));
}
#endif
