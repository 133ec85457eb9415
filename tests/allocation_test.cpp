// Heap allocations per notice, counted with a replaced global operator new.
// Its own executable, since the replacement covers the whole program.
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelAnalysis/FrameStats.h>
#include <ZelAnalysis/FrameSummary.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <sstream>
#include <string>

#include "ZelFrameRate.h"
#include "allocation_counter.h"
#include "analysis/scan.h"
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

// Memory running out anywhere in the fast capture reader, in its threads'
// work or in starting them, reaches the caller as std::bad_alloc once every
// thread has ended, never as std::terminate; a part whose thread cannot
// start is read by the caller's.
TEST(Allocation, CaptureReaderThrowsWhenMemoryRunsOut) {
  std::string text = "Application,ProcessID,MsBetweenPresents\n";
  for (int i = 0; i < 300; ++i) text += "app," + std::to_string(i % 3) + ",16.5\n";
  std::istringstream in(text);
  const auto want = zel_analysis::FrameTimesOf(zel_analysis::ReadCapture(in, "f").capture);
  int thrown = 0;
  for (long long n = 1;; ++n) {
    zel_analysis::CaptureFile file;
    std::vector<std::int64_t> ns;
    failingAllocation = allocations + n;
    try {
      ns = zel_analysis::scan::ReadFrameTimes({"f", &text}, file, {512, 1, 3});
    } catch (const std::bad_alloc&) {
      ++thrown;
      continue;
    }
    const bool reached = allocations >= failingAllocation;
    failingAllocation = -1;
    ASSERT_EQ(ns, want) << "allocation " << n << " failed";
    if (!reached) break;
  }
  EXPECT_GT(thrown, 20);
  // Nor does it copy an in-memory text: no allocation as large.
  std::string large = "Application,ProcessID,MsBetweenPresents\n";
  for (int i = 0; i < 20000; ++i) large += "application.exe,1,16.5\n";
  largestAllocation = 0;
  zel_analysis::CaptureFile file;
  EXPECT_EQ(zel_analysis::scan::ReadFrameTimes({"f", &large}, file, {1 << 16, 1 << 30, 1}).size(),
            20000u);
  EXPECT_LT(largestAllocation, large.size());
}

}  // namespace
