// FramePacer over the real clock and sleep: never early, on time and on
// rate as far as a shared machine allows, and the thread left as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ZelPacing/FramePacer.h"

#if defined(__linux__)
#include <sys/prctl.h>
#endif

TEST(RealClock, PacesOnTheDeadlineNeverBefore) {
  constexpr double kFps = 144.0;
  constexpr int kFrames = 144;
  // A busy machine takes the CPU away for milliseconds, and the pacer
  // stops spinning when it loses its core: a run with a frame over 1 ms
  // late, or one that lost its core, is tried again, and only when every
  // run is disturbed so is the result not judged. Never-early holds in
  // every run.
  bool disturbed = true;
  for (int attempt = 0; attempt < 3; ++attempt) {
    zel_pacing::FramePacer pacer(kFps);
    // Room to cover a coarser timer than Linux's: Wine's waitable timer
    // wakes 0.2 to 2 ms late, far beyond the default 2.5 % of a period.
    // Where the timer is finer the margin stays as small as it needs.
    pacer.SetSpinBudget(0.5);
    std::vector<std::int64_t> late;
    const std::int64_t first = pacer.Wait().returnedNs;
    std::int64_t last = first;
    for (int frame = 1; frame <= kFrames; ++frame) {
      const zel_pacing::PaceResult r = pacer.Wait();
      ASSERT_GE(zel_pacing::ClockNs(), r.deadlineNs) << "frame " << frame;
      ASSERT_GE(r.returnedNs, r.deadlineNs) << "frame " << frame;
      late.push_back(r.lateNs);
      last = r.returnedNs;
    }
    const std::int64_t longest = *std::max_element(late.begin(), late.end());
    std::nth_element(late.begin(), late.begin() + kFrames / 2, late.end());
    const std::int64_t p50 = late[kFrames / 2];
    const double rate = 1e9 * kFrames / static_cast<double>(last - first);
    const bool ok = p50 <= 20000 && rate > kFps * 0.999 && rate < kFps * 1.001;
    if (ok) return;
    disturbed = disturbed && (longest > 1000000 || pacer.Stats().lostCore > 0);
    std::printf("run %d: p50 %lld ns, max %lld ns, %.3f fps\n", attempt,
                static_cast<long long>(p50), static_cast<long long>(longest), rate);
  }
  if (disturbed) GTEST_SKIP() << "every run was disturbed by the machine's load";
  FAIL() << "median lateness or average rate out of bounds in three runs";
}

#if defined(__linux__)
// The sleeps run with a 1 ns timer slack; the thread's own is back after.
TEST(RealClock, LeavesTheThreadsTimerSlackAsItFoundIt) {
  const int own = prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL);
  ASSERT_EQ(prctl(PR_SET_TIMERSLACK, 123457UL, 0UL, 0UL, 0UL), 0);
  zel_pacing::FramePacer pacer(1000.0);
  for (int i = 0; i < 20; ++i) EXPECT_GT(pacer.Wait().deadlineNs, 0);
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL), 123457);
  prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(own), 0UL, 0UL, 0UL);
}
#endif
