// FramePacer over a scripted clock and sleep: every deadline, wake-up and
// spin is an exact value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "ZelPacing/FramePacer.h"
#include "scripted_platform.h"

namespace {

namespace script = zel_scripted_pacing;
using zel_pacing::FramePacer;
using zel_pacing::PaceResult;
constexpr std::int64_t kUs = 1000;
constexpr std::int64_t kMs = 1000 * kUs;

// `frames` frames of `workNs` drawing whose sleeps wake `overshootNs` late;
// the last one's result.
PaceResult Frames(FramePacer& pacer, int frames, std::int64_t overshootNs,
                  std::int64_t workNs = 1 * kMs) {
  script::ScriptOvershoots({}, overshootNs);
  PaceResult r;
  for (int i = 0; i < frames; ++i) {
    script::Advance(workNs);
    r = pacer.Wait();
  }
  return r;
}

TEST(Pacing, DeadlinesStayOnTheExactGridForAMillionFramesNeverEarly) {
  const struct {
    double fps;             // 0: the period is set in ns
    std::int64_t num, den;  // period = num / den ns
  } rows[] = {{144.0, 1000000000000, 144000}, {59.94, 1000000000000, 59940}, {0.0, 16666667, 1}};
  for (const auto& row : rows) {
    script::Restore(3 * kUs);
    script::SetNow(123456789);
    FramePacer pacer;
    ASSERT_TRUE(row.fps > 0.0 ? pacer.SetRate(row.fps) : pacer.SetPeriodNs(row.num));
    const std::int64_t t0 = pacer.Wait().returnedNs;
    std::int64_t spun = 0;
    for (std::int64_t k = 1; k <= 1000000; ++k) {
      // Overshoots of 0 to 0.3 ms, every third after a 2 ms early wake-up.
      const std::int64_t overshoot = k * 7919 % (300 * kUs);
      script::ScriptOvershoots(k % 3 ? std::vector<std::int64_t>{overshoot}
                                     : std::vector<std::int64_t>{-2 * kMs, overshoot});
      script::Advance(k * 104729 % (row.num / row.den / 2));
      const PaceResult r = pacer.Wait();
      ASSERT_EQ(r.deadlineNs, t0 + k * row.num / row.den) << row.fps << " frame " << k;
      ASSERT_GE(r.returnedNs, r.deadlineNs);
      ASSERT_LE(r.spunNs, r.marginNs + 3 * kUs);
      spun += r.spunNs;
    }
    EXPECT_EQ(pacer.Stats().spunNs, spun);
  }
}

// One pacer at 60 fps, row after row: `frames` frames whose sleeps wake
// `overshoot` late, the last one's spin cut off for `gap`; then the margin
// the next sleep will use, and the frames that lost the core so far.
//  - The margin: just above steady wake-ups; up with them within dozens of
//    frames, halved in 700; one stray late one moves it by a sixteenth.
//  - A gap of 100 us in the spin (99 us and the reading's own 1 us), or a
//    sleep 2 ms past the margin, is the machine's own; more is the thread
//    losing its core. Losses 128 frames apart are stray stalls; 127 apart, a
//    shared core: the 1024 frames after the second sleep with no spin, and
//    a loss among them or within 127 frames after them starts that over.
//  - Wake-ups 900 us late: the margin capped at 2.5 % of 16.7 ms by
//    default, 10 % in precise mode (so not at all), 0 with no budget.
TEST(Pacing, MarginFollowsRecentWakeUpsWithinTheBudgetAndNotOnASharedCore) {
  script::Restore(1 * kUs);
  const struct {
    int frames;
    std::int64_t overshoot, gap, least, most, lost;
    double budget = 0.025;  // below 0: precise mode
  } rows[] = {{3000, 50 * kUs, 0, 50 * kUs, 54 * kUs, 0},
              {40, 300 * kUs, 0, 300 * kUs, 320 * kUs, 0},
              {700, 50 * kUs, 0, 150 * kUs, 165 * kUs, 0},
              {2300, 50 * kUs, 0, 50 * kUs, 54 * kUs, 0},
              {1, 900 * kUs, 0, 50 * kUs, 58 * kUs, 0},
              {1, 0, 99 * kUs, 50 * kUs, 58 * kUs, 0},
              {1, 2040 * kUs, 0, 50 * kUs, 62 * kUs, 0},
              {1, 0, 101 * kUs, 50 * kUs, 62 * kUs, 1},
              {127, 50 * kUs, 0, 50 * kUs, 62 * kUs, 1},
              {1, 2080 * kUs, 0, 50 * kUs, 62 * kUs, 2},
              {126, 50 * kUs, 0, 50 * kUs, 62 * kUs, 2},
              {1, 0, 200 * kUs, 0, 0, 3},
              {499, 50 * kUs, 0, 0, 0, 3},
              {1, 2500 * kUs, 0, 0, 0, 4},
              {1023, 50 * kUs, 0, 0, 0, 4},
              {1, 50 * kUs, 0, 50 * kUs, 62 * kUs, 4},
              {126, 50 * kUs, 0, 50 * kUs, 62 * kUs, 4},
              {1, 2500 * kUs, 0, 0, 0, 5},
              {1023, 50 * kUs, 0, 0, 0, 5},
              {128, 50 * kUs, 0, 50 * kUs, 62 * kUs, 5},
              {1, 2500 * kUs, 0, 50 * kUs, 62 * kUs, 6},
              {200, 900 * kUs, 0, 416666, 416666, 6},
              {1, 2500 * kUs, 0, 416666, 416666, 7},
              {200, 900 * kUs, 0, 900 * kUs, 960 * kUs, 7, -1.0},
              {1, 900 * kUs, 0, 0, 0, 7, 0.0}};
  FramePacer pacer(60.0);
  for (const auto& row : rows) {
    if (row.budget < 0) pacer.SetMode(zel_pacing::PaceMode::kPrecise);
    ASSERT_TRUE(row.budget < 0 || pacer.SetSpinBudget(row.budget));
    Frames(pacer, row.frames - 1, row.overshoot);
    if (row.gap > 0) script::StallAfterReads(3, row.gap);
    Frames(pacer, 1, row.overshoot);
    EXPECT_TRUE(pacer.MarginNs() >= row.least && pacer.MarginNs() <= row.most)
        << pacer.MarginNs() << " after row " << &row - rows;
    EXPECT_EQ(pacer.Stats().lostCore, row.lost) << &row - rows;
  }
  // A margin that takes the whole wait leaves no sleep to learn from: it
  // still shrinks once the wake-ups are prompt again.
  FramePacer whole(100.0);
  ASSERT_TRUE(whole.SetSpinBudget(1.0));
  Frames(whole, 400, 950 * kUs);
  ASSERT_TRUE(whole.SetRate(1000.0));
  EXPECT_EQ(Frames(whole, 1, 10 * kUs, 100 * kUs).overshootNs, 0);  // it did not sleep
  Frames(whole, 3000, 10 * kUs, 100 * kUs);
  EXPECT_GE(whole.MarginNs(), 10 * kUs);
  EXPECT_LT(whole.MarginNs(), 100 * kUs);
  // At 240 fps the window is a second, 240 frames, and a new pacer has yet
  // to show its core is free: a loss in its first second starts a busy
  // spell. Only a sleep that a spin follows asks for the timer's precision.
  FramePacer early(240.0), fast(240.0);
  std::int64_t precise = script::PreciseSleeps();
  Frames(early, 3, 50 * kUs);  // the first starts the grid
  EXPECT_EQ(script::PreciseSleeps() - precise, 2);
  Frames(early, 234, 50 * kUs);
  Frames(early, 1, 2500 * kUs);
  EXPECT_EQ(early.MarginNs(), 0);
  precise = script::PreciseSleeps();
  Frames(early, 10, 50 * kUs);
  EXPECT_EQ(script::PreciseSleeps(), precise);
  const struct {
    int apart;
    bool busy;
  } losses[] = {{239, false}, {240, false}, {239, true}};
  for (const auto& loss : losses) {
    Frames(fast, loss.apart - 1, 50 * kUs);
    Frames(fast, 1, 2500 * kUs);
    EXPECT_EQ(fast.MarginNs() == 0, loss.busy) << loss.apart;
  }
}

// Sleeping straight to the deadline (no spin, no step), every time is a
// round figure.
TEST(Pacing, StallsAndRateChangesRestartTheGridOnce) {
  script::Restore(0);
  FramePacer pacer(100.0);
  pacer.SetSpinBudget(0.0);
  const std::int64_t t0 = pacer.Wait().returnedNs;
  // Under a period late: returns at once, the grid stays.
  PaceResult r = Frames(pacer, 1, 0, 18 * kMs);
  EXPECT_TRUE(r.missed && !r.resynced);
  EXPECT_EQ(Frames(pacer, 1, 0, 0).deadlineNs, t0 + 20 * kMs);
  // A stall of five periods: one resync, then frames a whole period apart.
  r = Frames(pacer, 1, 0, 50 * kMs);
  EXPECT_TRUE(r.missed && r.resynced);
  EXPECT_EQ(Frames(pacer, 5, 0).deadlineNs, r.returnedNs + 50 * kMs);
  EXPECT_EQ(pacer.Stats().resyncs, 1);
  EXPECT_EQ(pacer.Stats().missed, 2);
  // A new rate starts at the last deadline; the same rate again changes
  // nothing, not even every frame.
  const std::int64_t last = script::Now();
  for (int frame = 1; frame <= 8; ++frame) {
    ASSERT_TRUE(pacer.SetRate(144.0));
    r = Frames(pacer, 1, 0);
  }
  EXPECT_EQ(r.deadlineNs, last + 55555555);  // floor(8 * 1e9 / 144)
  ASSERT_TRUE(pacer.SetRate(60.0));
  EXPECT_EQ(Frames(pacer, 1, 0).deadlineNs, r.deadlineNs + 16666666);
  // Rate 0 never waits: one clock reading per frame.
  ASSERT_TRUE(pacer.SetRate(0.0));
  const std::int64_t reads = script::Reads();
  EXPECT_EQ(Frames(pacer, 3, 0).lateNs, 0);
  EXPECT_EQ(script::Reads() - reads, 3);
  EXPECT_EQ(script::PreciseSleeps(), 0);  // no budget, no spin
}

TEST(Pacing, OutOfRangeSettingsAreRefusedAndChangeNothing) {
  const double inf = HUGE_VAL, nan = std::nan("");
  FramePacer pacer(50.0);
  for (const double fps : {nan, inf, -inf, -1.0, 0.0009, 100000.01})
    EXPECT_FALSE(pacer.SetRate(fps));
  for (const std::int64_t ns : {-1LL, 9999LL, 1000000000001LL}) EXPECT_FALSE(pacer.SetPeriodNs(ns));
  for (const double share : {nan, -0.01, 1.01}) EXPECT_FALSE(pacer.SetSpinBudget(share));
  EXPECT_EQ(pacer.PeriodNs(), 20 * kMs);
  // The limits themselves are accepted; rates round to the nearest mHz.
  EXPECT_TRUE(pacer.SetPeriodNs(FramePacer::kMinPeriodNs) &&
              pacer.SetPeriodNs(FramePacer::kMaxPeriodNs) && pacer.SetRate(FramePacer::kMinRate) &&
              pacer.SetRate(FramePacer::kMaxRate));
  EXPECT_EQ(FramePacer(59.9396).PeriodNs(), 16683350);
}

}  // namespace
