// FramePacer over the real clock and sleep: never early, on time and on
// rate as far as a shared machine allows, and the thread left as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "ZelPacing/FramePacer.h"

#if defined(__linux__)
#include <sys/prctl.h>
#endif

// A busy machine takes the core away for milliseconds: never-early holds in
// every run; half the frames within 20 us of their deadline, and the thread
// asleep for 40 % of the time at least, in one run of three, unless every
// run lost its core or had a frame 1 ms late. The thread's own timer slack
// is back after the sleeps' 1 ns.
TEST(RealClock, PacesOnTheDeadlineNeverBeforeAndLeavesTheTimerSlack) {
#if defined(__linux__)
  const int own = prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL);
  ASSERT_EQ(prctl(PR_SET_TIMERSLACK, 123457UL, 0UL, 0UL, 0UL), 0);
#endif
  bool onTime = false, disturbed = true;
  for (int attempt = 0; attempt < 3 && !onTime; ++attempt) {
    zel_pacing::FramePacer pacer(144.0);
    pacer.SetSpinBudget(0.5);  // room for a coarser timer (Wine's wakes 0.2 to 2 ms late)
    pacer.Wait();
    const std::int64_t cpu = zel_pacing::ThreadCpuNs();
    std::int64_t prompt = 0, worst = 0;
    for (int frame = 1; frame <= 144; ++frame) {  // one second
      const zel_pacing::PaceResult r = pacer.Wait();
      ASSERT_GE(r.returnedNs, r.deadlineNs) << "frame " << frame;
      prompt += r.lateNs <= 20000;
      worst = std::max(worst, r.lateNs);
    }
    disturbed = disturbed && (worst > 1000000 || pacer.Stats().lostCore > 0);
    onTime = prompt >= 72 && zel_pacing::ThreadCpuNs() - cpu < 600000000;
  }
  EXPECT_TRUE(onTime || disturbed) << "late or awake in three runs";
#if defined(__linux__)
  EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL), 123457);
  prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(own), 0UL, 0UL, 0UL);
#endif
}
