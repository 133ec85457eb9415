// Ten million frames through one meter on the scripted counter: the
// histories stay at their limits with the latest samples in order, and the
// heap stops growing once they are full. Its own executable, so that CI can
// leave it out of the valgrind run.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "ZelFrameRate.h"
#include "counter/scripted_counter.h"

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/resource.h>
#endif

namespace {

constexpr int kFrames = 10000000;
constexpr int kCheckEvery = 1000000;
constexpr int kLength = 60;

// Frame f draws for 1 to 7 counts and swaps 1 to 5 counts later; at 8 counts
// per second every sample is an exact float.
std::int64_t DrawCounts(int f) { return 1 + f % 7; }
std::int64_t SwapCounts(int f) { return DrawCounts(f) + 1 + f % 5; }

// Bytes the heap has handed out and not taken back; -1 where unknown.
long long HeapInUse() {
#if defined(__GLIBC__)
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks) + static_cast<long long>(info.hblkhd);
#else
  return -1;
#endif
}

// Both histories hold exactly the samples of the latest frames, in order.
void ExpectLatestSamples(CZelFrameRate& meter, int frame) {
  std::vector<float> draws, swaps;
  for (int f = frame + 1 - 4 * kLength; f <= frame; ++f)
    draws.push_back(125.0f * static_cast<float>(DrawCounts(f)));
  // Swap notice f records the interval that ended at frame f, f >= 1.
  for (int f = frame + 1 - kLength; f <= frame; ++f)
    swaps.push_back(0.125f * static_cast<float>(SwapCounts(f)));
  EXPECT_EQ(meter.GetDrawHistory(), draws) << "after frame " << frame;
  EXPECT_EQ(meter.GetSwapHistory(), swaps) << "after frame " << frame;
  EXPECT_EQ(meter.GetBufferCount(), 4 * kLength);
}

TEST(Soak, TenMillionFramesStayAtTheLimitsWithFlatMemory) {
  zel_scripted::Restore();
  zel_scripted::SetFrequency(8);
  CZelFrameRate meter(kLength);
  long long heapWhenFull = -1;
  for (int frame = 0; frame < kFrames; ++frame) {
    meter.FrameDrawStartNotice();
    zel_scripted::Advance(DrawCounts(frame));
    meter.FrameDrawEndNotice();
    zel_scripted::Advance(SwapCounts(frame) - DrawCounts(frame));
    meter.SwapCallNotice();
    if ((frame + 1) % kCheckEvery != 0) continue;
    ExpectLatestSamples(meter, frame);
    if (HasFailure()) return;
    const long long heap = HeapInUse();
    if (heapWhenFull < 0) heapWhenFull = heap;
    ASSERT_EQ(heap, heapWhenFull) << "heap grew by frame " << frame;
  }
#if defined(__GLIBC__)
  struct rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("soak: %d frames, heap in use %lld bytes, peak RSS %ld KiB\n", kFrames, heapWhenFull,
              usage.ru_maxrss);
#endif
}

}  // namespace
