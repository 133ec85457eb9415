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

// A busy machine takes the core away for milliseconds: a run that lost its
// core or had a frame 1 ms late is tried again, and is not judged if all
// three were. Never-early holds in every run.
TEST(RealClock, PacesOnTheDeadlineNeverBefore) {
  constexpr int kFrames = 144;
  bool disturbed = true;
  for (int attempt = 0; attempt < 3; ++attempt) {
    zel_pacing::FramePacer pacer(144.0);
    // Room for a coarser timer than Linux's (Wine's wakes 0.2 to 2 ms late).
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
    const double rate = 1e9 * kFrames / static_cast<double>(last - first);
    disturbed = disturbed && (*std::max_element(late.begin(), late.end()) > 1000000 ||
                              pacer.Stats().lostCore > 0);
    std::nth_element(late.begin(), late.begin() + kFrames / 2, late.end());
    if (late[kFrames / 2] <= 20000 && rate > 144 * 0.999 && rate < 144 * 1.001) return;
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
