// Heap allocations per notice, counted with a replaced global operator new.
// Its own executable, since the replacement covers the whole program.
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelAnalysis/FrameSummary.h>
#include <gtest/gtest.h>

#include "ZelFrameRate.h"
#include "allocation_counter.h"
#include "counter/scripted_counter.h"

namespace {

void Frames(CZelFrameRate& meter, int count) {
  for (int frame = 0; frame < count; ++frame) {
    meter.FrameDrawStartNotice();
    meter.FrameDrawEndNotice();
    meter.SwapCallNotice();
  }
}

// Once full, a meter allocates nothing on its notices, and neither does a
// copy of it or a meter assigned from it.
TEST(Allocation, NoneOnceTheHistoriesAreFull) {
  zel_scripted::SetStepPerRead(1000);  // every reading 1 us after the last
  for (int length : {1, 3, 60, 1000}) {
    CZelFrameRate meter(length);
    const long long before = allocations;
    Frames(meter, 4 * length);  // both histories just full
    EXPECT_GT(allocations, before) << "filling the histories should allocate";
    CZelFrameRate copy(meter);
    CZelFrameRate assigned(length);
    assigned = meter;
    const long long full = allocations;
    for (CZelFrameRate* m : {&meter, &copy, &assigned}) Frames(*m, 10000);
    EXPECT_EQ(allocations, full) << "length " << length;
    EXPECT_EQ(meter.GetBufferCount(), 4 * length);
  }
}

// A recorder allocates nothing while its frames fit the room it was given.
TEST(Allocation, NoneWhileARecordingFits) {
  zel_analysis::FrameRecorder recorder(1000);
  const long long before = allocations;
  for (int frame = 0; frame <= 1000; ++frame) {
    recorder.FrameDrawStartNotice();
    recorder.FrameDrawEndNotice();
    recorder.SwapCallNotice();
  }
  EXPECT_EQ(allocations, before);
  EXPECT_EQ(recorder.Frames().size(), 1000u);
}

// A summary builder holds every bucket from the start.
TEST(Allocation, NoneWhileASummaryGrows) {
  zel_analysis::SummaryBuilder builder;
  const long long before = allocations;
  for (std::int64_t ns = 0; ns < zel_analysis::kMaxTotalNs / 4; ns = ns * 3 + 1) builder.Add(ns);
  EXPECT_EQ(allocations, before);
}

}  // namespace
