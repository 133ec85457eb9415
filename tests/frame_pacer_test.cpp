// FramePacer over a scripted clock and sleep: every deadline, wake-up and
// spin is an exact value.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "ZelPacing/FramePacer.h"
#include "scripted_platform.h"

namespace {

namespace script = zel_scripted_pacing;
using zel_pacing::FramePacer;
using zel_pacing::PaceMode;
using zel_pacing::PaceResult;

constexpr std::int64_t kUs = 1000;
constexpr std::int64_t kMs = 1000 * kUs;

// A fresh clock at 0 whose every reading costs `stepNs` (a spin needs a
// step, or it never ends).
void Reset(std::int64_t stepNs = 1 * kUs) {
  script::Restore();
  script::SetStepPerRead(stepNs);
}

class Pacing : public ::testing::Test {
protected:
  void SetUp() override { Reset(); }
  void TearDown() override { script::Restore(); }
};

// One frame: `workNs` of drawing, then the wait.
PaceResult Frame(FramePacer& pacer, std::int64_t workNs) {
  script::Advance(workNs);
  return pacer.Wait();
}

TEST_F(Pacing, DeadlinesStayOnTheExactGridForAMillionFramesNeverEarly) {
  const struct {
    double fps;             // 0: the period is set in ns
    std::int64_t num, den;  // period = num / den ns
  } rows[] = {
      {144.0, 1000000000000, 144000},
      {59.94, 1000000000000, 59940},
      {0.0, 16666667, 1},
  };
  for (const auto& row : rows) {
    Reset(3 * kUs);
    script::SetNow(123456789);
    FramePacer pacer;
    ASSERT_TRUE(row.fps > 0.0 ? pacer.SetRate(row.fps) : pacer.SetPeriodNs(row.num));
    const std::int64_t cap = row.num / row.den * 25 / 1000;  // the default 2.5 % budget
    const std::int64_t t0 = pacer.Wait().returnedNs;
    for (std::int64_t k = 1; k <= 1000000; ++k) {
      // Overshoots from 0 to 0.3 ms, every third sleep waking 2 ms early
      // first, and drawing up to half a period.
      const std::int64_t overshoot = k * 7919 % (300 * kUs);
      script::ScriptOvershoots(k % 3 ? std::vector<std::int64_t>{overshoot}
                                     : std::vector<std::int64_t>{-2 * kMs, overshoot});
      const PaceResult r = Frame(pacer, k * 104729 % (row.num / row.den / 2));
      ASSERT_EQ(r.deadlineNs, t0 + k * row.num / row.den) << row.fps << " frame " << k;
      ASSERT_GE(r.returnedNs, r.deadlineNs);
      ASSERT_LE(r.marginNs, cap);
      ASSERT_LE(r.spunNs, r.marginNs + 3 * kUs);
    }
    EXPECT_EQ(pacer.Stats().resyncs, 0);
  }
}

TEST_F(Pacing, MarginFollowsTheOvershootsWithinTheBudget) {
  // Overshoots (ns) in phases as long as the mode's window; the margin
  // after each. Precise mode's is 3 % of the period at least (124999 ns at
  // 240 fps), and the budget's limit comes first.
  const struct {
    PaceMode mode;
    double fps;
    double budget;  // below 0: the mode's own
    std::int64_t overshoot[4];
    std::int64_t margin[4];
  } rows[] = {
      {PaceMode::kDefault, 60, -1, {50000, 240000, 30000, 0}, {60000, 250000, 40000, 10000}},
      {PaceMode::kPrecise, 240, -1, {40000, 240000, 80000, 0}, {124999, 320000, 124999, 124999}},
      {PaceMode::kPrecise, 60, 0.02, {40000, 240000, 80000, 0}, {333333, 333333, 333333, 333333}},
      {PaceMode::kDefault, 60, 0.01, {50000, 240000, 30000, 0}, {60000, 166666, 40000, 10000}},
      {PaceMode::kDefault, 60, 0.0, {50000, 240000, 30000, 0}, {0, 0, 0, 0}},
  };
  for (const auto& row : rows) {
    Reset();
    FramePacer pacer(row.fps, row.mode);
    if (row.budget >= 0) ASSERT_TRUE(pacer.SetSpinBudget(row.budget));
    pacer.Wait();
    for (int phase = 0; phase < 4; ++phase) {
      script::ScriptOvershoots({}, row.overshoot[phase]);
      for (int i = 0; i < (row.mode == PaceMode::kDefault ? 128 : 256); ++i) Frame(pacer, 2 * kMs);
      EXPECT_EQ(pacer.MarginNs(), row.margin[phase]) << static_cast<int>(row.mode) << row.budget;
    }
  }

  // A few wake-ups in each window late (by less than makes a frame late
  // beyond the margin, so no trial starts): the margin covers them while that
  // fits the budget (417 us at 60 fps and 2.5 %; 500 us in precise mode
  // unless a budget is set), else it is the whole budget.
  const auto oneIn = [](std::size_t n, std::int64_t late) {
    std::vector<std::int64_t> pattern(n, 30 * kUs);
    pattern[0] = late;
    return pattern;
  };
  const struct {
    PaceMode mode;
    double budget;  // below 0: the mode's own
    std::vector<std::int64_t> pattern;
    std::int64_t margin;
  } tails[] = {
      {PaceMode::kDefault, -1, {200 * kUs, 30 * kUs, 30 * kUs, 30 * kUs}, 210 * kUs},
      {PaceMode::kDefault, -1, {600 * kUs, 30 * kUs, 30 * kUs, 30 * kUs}, 416666},
      // The third-longest of 128: two late ones are let through, three not.
      {PaceMode::kDefault, -1, oneIn(64, 300 * kUs), 40 * kUs},
      {PaceMode::kDefault, -1, oneIn(43, 300 * kUs), 310 * kUs},
      {PaceMode::kPrecise, -1, {650 * kUs, 30 * kUs, 30 * kUs, 30 * kUs}, 500 * kUs},
      {PaceMode::kPrecise, 0.2, {1800 * kUs, 30 * kUs, 30 * kUs, 30 * kUs}, 2270 * kUs},
  };
  for (const auto& row : tails) {
    Reset();
    FramePacer pacer(60.0, row.mode);
    if (row.budget >= 0) ASSERT_TRUE(pacer.SetSpinBudget(row.budget));
    pacer.Wait();
    const int window = row.mode == PaceMode::kDefault ? 128 : 256;
    std::vector<std::int64_t> overshoots(static_cast<std::size_t>(window));
    for (int i = 0; i < window; ++i)
      overshoots[static_cast<std::size_t>(i)] =
          row.pattern[static_cast<std::size_t>(i) % row.pattern.size()];
    script::ScriptOvershoots(overshoots);
    for (int i = 0; i < window; ++i) Frame(pacer, 2 * kMs);
    EXPECT_EQ(pacer.MarginNs(), row.margin) << static_cast<int>(row.mode);
  }
  Reset();
  FramePacer precise(240.0, PaceMode::kPrecise);
  precise.Wait();
  script::ScriptOvershoots({500 * kUs, 300 * kUs}, 40 * kUs);
  for (int i = 0; i < 256; ++i) Frame(precise, 2 * kMs);
  EXPECT_EQ(precise.MarginNs(), 395 * kUs);  // the second-longest, 300 us, and a quarter
}

// Frames at 100 fps with 8 ms drawing (so one sleep a frame); how many of
// them slept alone: no margin, and on short slices. With `overshoots`, the
// sleeps wake that late first, then 30 us late.
int SleptAlone(FramePacer& pacer, int frames) {
  int alone = 0;
  for (int i = 0; i < frames; ++i) {
    const std::int64_t onShortSlices = script::ShortSliceSleeps();
    const bool noMargin = Frame(pacer, 8 * kMs).marginNs == 0;
    alone += noMargin && script::ShortSliceSleeps() > onShortSlices ? 1 : 0;
  }
  return alone;
}
int SleptAlone(FramePacer& pacer, int frames, const std::vector<std::int64_t>& overshoots) {
  script::ScriptOvershoots(overshoots, 30 * kUs);
  return SleptAlone(pacer, frames);
}

// Overshoots of 30 us, with 1 ms ones (late frames) every `spacing` sleeps,
// the first and the last included.
std::vector<std::int64_t> LateEvery(std::size_t spacing, std::size_t lateOnes) {
  std::vector<std::int64_t> overshoots((lateOnes - 1) * spacing + 1, 30 * kUs);
  for (std::size_t i = 0; i < overshoots.size(); i += spacing) overshoots[i] = 1 * kMs;
  return overshoots;
}

TEST_F(Pacing, SleepsAloneForAHoldWhenThatIsLateLessOften) {
  FramePacer pacer(100.0);
  pacer.Wait();
  EXPECT_EQ(SleptAlone(pacer, 200, {}), 0);
  // Six late frames within 121 start a trial: 128 frames sleeping alone
  // (one late), then spinning until three are late: under half as often
  // wins, at once.
  EXPECT_EQ(SleptAlone(pacer, 121, LateEvery(24, 6)), 0);
  EXPECT_EQ(SleptAlone(pacer, 128, LateEvery(1, 1)), 128);
  EXPECT_EQ(SleptAlone(pacer, 3, LateEvery(1, 3)), 0);
  EXPECT_EQ(pacer.Stats().trials, 1);
  EXPECT_EQ(SleptAlone(pacer, 1023), 1023);  // the hold
  // A sleep on the way that wakes 8 ms late, past the deadline: that is
  // its overshoot, not the 1 ms the frame is late.
  script::ScriptOvershoots({8 * kMs});
  EXPECT_EQ(Frame(pacer, 1 * kMs).overshootNs, 8 * kMs);

  // The hold over, it tries spinning at once, against the one late frame
  // of the hold's last 128: two late spinning lose. It spins on, and starts
  // no trial for 64 frames, whatever comes back late.
  EXPECT_EQ(SleptAlone(pacer, 128, LateEvery(100, 2)), 0);
  EXPECT_EQ(pacer.Stats().trials, 2);
  EXPECT_EQ(SleptAlone(pacer, 124, LateEvery(10, 6)), 0);
  // One more late frame is the sixth within 128: a trial, which wins (none
  // late against three) for a hold that the loss brought back to 1024 frames.
  EXPECT_EQ(SleptAlone(pacer, 1, {1 * kMs}), 0);
  EXPECT_EQ(SleptAlone(pacer, 104), 104);
  // Sleeping alone, it wakes every 2 ms: 9 ms takes five sleeps.
  const std::int64_t sleeps = script::Sleeps();
  for (int i = 0; i < 24; ++i) EXPECT_EQ(Frame(pacer, 1 * kMs).lateNs, 30 * kUs);
  EXPECT_EQ(script::Sleeps() - sleeps, 24 * 5);
  EXPECT_EQ(SleptAlone(pacer, 3, LateEvery(1, 3)), 0);
  EXPECT_EQ(SleptAlone(pacer, 1024), 1024);
  // Spinning again: two late frames against none are an idle machine's
  // stalls and do not win; a third wins a doubled hold.
  EXPECT_EQ(SleptAlone(pacer, 101, LateEvery(50, 3)), 0);
  EXPECT_EQ(SleptAlone(pacer, 2048), 2048);
  EXPECT_EQ(pacer.Stats().trials, 4);
  // No late frame either way loses, for a spin hold that the wins brought
  // back to 64 frames: the sixth late frame at its 66th starts a trial.
  EXPECT_EQ(SleptAlone(pacer, 128), 0);
  EXPECT_EQ(SleptAlone(pacer, 66, LateEvery(13, 6)), 0);
  EXPECT_EQ(SleptAlone(pacer, 4), 4);
  EXPECT_EQ(pacer.Stats().trials, 5);
}

// Where the thread's wait for a core is known, only late frames that
// waited over 100 us for one count towards a trial.
TEST_F(Pacing, OnlyLateFramesThatWaitedForACoreStartATrial) {
  FramePacer pacer(100.0);
  pacer.Wait();
  script::ScriptRunQueueWait(100 * kUs);
  EXPECT_EQ(SleptAlone(pacer, 300, LateEvery(2, 150)), 0);
  script::ScriptRunQueueWait(101 * kUs);
  EXPECT_EQ(SleptAlone(pacer, 6, LateEvery(1, 6)), 0);
  EXPECT_EQ(SleptAlone(pacer, 128), 128);
}

TEST_F(Pacing, SleepsInStepsWhileTheCoresAreBusy) {
  FramePacer pacer(100.0);
  pacer.Wait();
  script::ScriptOvershoots({}, 30 * kUs);
  // Sleeps, those on short slices, and frames with a margin, over frames
  // of 1 ms drawing: about 9 ms to wait, one sleep or five steps of at
  // most 2 ms. The drawing always runs on the thread's own slices.
  const auto sleeps = [&](int frames) {
    const std::int64_t before = script::Sleeps();
    const std::int64_t shortBefore = script::ShortSliceSleeps();
    int spun = 0;
    for (int i = 0; i < frames; ++i) {
      spun += Frame(pacer, 1 * kMs).marginNs > 0 ? 1 : 0;
      EXPECT_FALSE(script::OnShortSlices());
    }
    return std::vector<std::int64_t>{script::Sleeps() - before,
                                     script::ShortSliceSleeps() - shortBefore, spun};
  };
  EXPECT_EQ(sleeps(10), (std::vector<std::int64_t>{10, 0, 10}));
  // Busy readings 9 frames apart change nothing; from the second within 8
  // frames, the cores are busy: steps to the deadline on short slices, no
  // margin, for 128 frames after the last.
  for (const int idle : {8, 7}) {
    script::SetCoresBusy(true);
    EXPECT_EQ(sleeps(1), (std::vector<std::int64_t>{1, 0, 1}));
    script::SetCoresBusy(false);
    EXPECT_EQ(sleeps(idle), (std::vector<std::int64_t>{idle, 0, idle}));
  }
  script::SetCoresBusy(true);
  EXPECT_EQ(sleeps(1), (std::vector<std::int64_t>{5, 5, 0}));
  EXPECT_EQ(sleeps(10), (std::vector<std::int64_t>{50, 50, 0}));
  script::SetCoresBusy(false);
  const std::int64_t steps = std::int64_t{127} * 5;
  EXPECT_EQ(sleeps(127), (std::vector<std::int64_t>{steps, steps, 0}));
  EXPECT_EQ(sleeps(10), (std::vector<std::int64_t>{10, 0, 10}));
  // Frames late on busy cores, which did not spin, start no trial.
  script::SetCoresBusy(true);
  script::ScriptOvershoots({}, 1 * kMs);
  sleeps(300);
  EXPECT_EQ(pacer.Stats().trials, 0);
}

// The cores are read once a frame: in the spin when 50 us of it are left,
// where the read costs no more than the spin would, else before the next
// frame's sleep.
TEST_F(Pacing, ReadsTheCoresInTheSpinWhenItCanSpareTheTime) {
  FramePacer pacer(100.0);
  pacer.Wait();
  script::SetCoresReadCost(45 * kUs);
  // Three wake-ups 200 us late hold the margin at 210 us for 128 frames;
  // the frame after them reads in its spin.
  script::ScriptOvershoots({200 * kUs, 200 * kUs, 200 * kUs});
  for (int i = 0; i < 4; ++i) Frame(pacer, 1 * kMs);
  // Reads over frames whose sleeps wake `overshoot` late, none of them
  // returning late; and the margins of the first and the last.
  const auto reads = [&](int frames, std::int64_t overshoot) {
    script::ScriptOvershoots({}, overshoot);
    const std::int64_t before = script::CoresReads();
    std::int64_t first = -1;
    std::int64_t last = -1;
    for (int i = 0; i < frames; ++i) {
      const PaceResult r = Frame(pacer, 1 * kMs);
      EXPECT_LT(r.lateNs, 1 * kUs) << i;
      first = i == 0 ? r.marginNs : first;
      last = r.marginNs;
    }
    return std::vector<std::int64_t>{script::CoresReads() - before, first, last};
  };
  EXPECT_EQ(reads(10, 0), (std::vector<std::int64_t>{10, 210 * kUs, 210 * kUs}));
  // 40 us to spare: the first such frame reads nothing, the rest before
  // their sleeps; then the first with time to spare reads twice.
  EXPECT_EQ(reads(10, 170 * kUs), (std::vector<std::int64_t>{9, 210 * kUs, 210 * kUs}));
  EXPECT_EQ(reads(10, 0), (std::vector<std::int64_t>{11, 210 * kUs, 210 * kUs}));
  // Two busy readings in spins: the frame after the second is on busy cores.
  script::SetCoresBusy(true);
  EXPECT_EQ(reads(2, 0), (std::vector<std::int64_t>{2, 210 * kUs, 210 * kUs}));
  EXPECT_EQ(reads(1, 0), (std::vector<std::int64_t>{1, 0, 0}));
}

// These two sleep straight to the deadline (no spin), so every time is a
// round figure.
TEST_F(Pacing, AStallRestartsTheGridOnceWithoutABurst) {
  Reset(0);
  FramePacer pacer(100.0);
  pacer.SetSpinBudget(0.0);
  const std::int64_t t0 = pacer.Wait().returnedNs;
  Frame(pacer, 1 * kMs);
  // Under a period late: returns at once, and the grid stays.
  PaceResult r = Frame(pacer, 18 * kMs);
  EXPECT_TRUE(r.missed);
  EXPECT_FALSE(r.resynced);
  EXPECT_EQ(r.lateNs, 8 * kMs);
  EXPECT_EQ(Frame(pacer, 0).deadlineNs, t0 + 30 * kMs);
  // A stall of five periods: one resync, then frames a whole period apart.
  r = Frame(pacer, 50 * kMs);
  EXPECT_TRUE(r.missed && r.resynced);
  EXPECT_EQ(r.deadlineNs, t0 + 40 * kMs);
  const std::int64_t restart = r.returnedNs;
  for (std::int64_t k = 1; k <= 5; ++k) {
    r = Frame(pacer, 1 * kMs);
    EXPECT_EQ(r.deadlineNs, restart + k * 10 * kMs);
    EXPECT_FALSE(r.missed);
  }
  EXPECT_EQ(pacer.Stats().resyncs, 1);
  EXPECT_EQ(pacer.Stats().missed, 2);
}

TEST_F(Pacing, ARateChangeStartsANewGridAtTheLastDeadline) {
  Reset(0);
  FramePacer pacer(60.0);
  pacer.SetSpinBudget(0.0);
  const std::int64_t t0 = pacer.Wait().returnedNs;
  Frame(pacer, 1 * kMs);
  const std::int64_t last = Frame(pacer, 1 * kMs).deadlineNs;
  EXPECT_EQ(last, t0 + 33333333);
  // Setting the same rate again (here before every frame) keeps the grid.
  std::int64_t deadline = 0;
  for (int k = 1; k <= 3; ++k) {
    ASSERT_TRUE(pacer.SetRate(144.0));
    deadline = Frame(pacer, 1 * kMs).deadlineNs;
  }
  EXPECT_EQ(deadline, last + 20833333);  // floor(3 * 1e9 / 144)

  // Rate 0 never waits: one clock reading per frame, no sleep.
  ASSERT_TRUE(pacer.SetRate(0.0));
  const std::int64_t reads = script::Reads();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Frame(pacer, 1 * kMs).lateNs, 0);
  EXPECT_EQ(script::Reads() - reads, 3);
  const std::int64_t unpaced = script::Now();
  ASSERT_TRUE(pacer.SetPeriodNs(5 * kMs));
  EXPECT_EQ(Frame(pacer, 1 * kMs).deadlineNs, unpaced + 5 * kMs);
}

TEST_F(Pacing, OutOfRangeSettingsAreRefusedAndChangeNothing) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  FramePacer pacer(50.0);
  for (const double fps : {nan, inf, -inf, -1.0, 0.0009, 100000.01})
    EXPECT_FALSE(pacer.SetRate(fps)) << fps;
  for (const std::int64_t ns : {std::int64_t{-1}, std::int64_t{9999}, std::int64_t{1000000000001},
                                std::numeric_limits<std::int64_t>::min()})
    EXPECT_FALSE(pacer.SetPeriodNs(ns)) << ns;
  for (const double share : {nan, -0.01, 1.01}) EXPECT_FALSE(pacer.SetSpinBudget(share)) << share;
  EXPECT_EQ(pacer.PeriodNs(), 20 * kMs);
  EXPECT_EQ(pacer.MarginNs(), 500 * kUs);  // 2.5 % of the period

  EXPECT_EQ(FramePacer(nan).PeriodNs(), 0);
  const struct {
    double fps;
    std::int64_t periodNs;
  } accepted[] = {{0.001, 1000000000000}, {100000.0, 10000}, {59.9404, 16683350}};
  for (const auto& row : accepted) EXPECT_EQ(FramePacer(row.fps).PeriodNs(), row.periodNs);
  EXPECT_TRUE(pacer.SetPeriodNs(FramePacer::kMinPeriodNs));
  EXPECT_TRUE(pacer.SetPeriodNs(FramePacer::kMaxPeriodNs));
}

}  // namespace
