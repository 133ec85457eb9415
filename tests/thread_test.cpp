// Separate timers and meters on several threads at once share nothing: each
// thread's results equal those of the same run made alone. CI also runs this
// under ThreadSanitizer. The scripted counter is per thread, so each thread
// drives its own clock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "ZelFrameRate.h"
#include "ZelWallTimer.h"
#include "counter/scripted_counter.h"

namespace {

constexpr int kThreads = 4;

struct Results {
  std::vector<float> draws;
  std::vector<float> swaps;
  float rate = 0.0f;
  std::string report;
  bool operator==(const Results& o) const {
    return draws == o.draws && swaps == o.swaps && rate == o.rate && report == o.report;
  }
};

// Continues `meter` for a few thousand frames whose lengths depend on `seed`,
// with a wall timer and a time value alongside.
Results Drive(CZelFrameRate meter, int seed) {
  zel_scripted::Restore();
  zel_scripted::SetFrequency(8);
  CZelWallTimer timer;
  timer.Start();
  CZelTimeValue total;
  for (int frame = 0; frame < 5000; ++frame) {
    meter.FrameDrawStartNotice();
    zel_scripted::Advance(1 + (frame + seed) % 5);
    meter.FrameDrawEndNotice();
    zel_scripted::Advance(seed);
    meter.SwapCallNotice();
    CZelTimeValue step(0.125 * seed);
    total = total + step;
  }
  timer.AdjustStartTime(total.Get() * 1e-3);
  return Results{meter.GetDrawHistory(), meter.GetSwapHistory(), meter.GetFrameRate(),
                 timer.ReportElapsed(CZelTimer::eAutomatic)};
}

TEST(Threads, SeparateObjectsShareNothing) {
  // Copies of one meter, continued on separate threads.
  CZelFrameRate shared(16);
  for (int swap = 0; swap < 20; ++swap) {
    shared.SwapCallNotice();
    zel_scripted::Advance(3);
  }
  std::vector<CZelFrameRate> copies(kThreads, shared);

  std::vector<Results> alone;
  alone.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) alone.push_back(Drive(copies[t], t + 1));

  std::vector<Results> together(kThreads);
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Start together, so that the runs overlap.
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      together[t] = Drive(copies[t], t + 1);
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(together[t], alone[t]) << "thread " << t;
    EXPECT_EQ(together[t].draws.size(), 64u);
    EXPECT_EQ(together[t].swaps.size(), 16u);
  }
  // Differently paced threads really did measure different things.
  EXPECT_NE(alone[0].swaps, alone[1].swaps);
  EXPECT_NE(alone[0].report, alone[1].report);
}

}  // namespace
