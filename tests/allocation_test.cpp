// Heap allocations per notice, counted with a replaced global operator new.
// Its own executable, since the replacement covers the whole program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "ZelFrameRate.h"
#include "counter/scripted_counter.h"

namespace {
long long allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void Frame(CZelFrameRate& meter) {
  meter.FrameDrawStartNotice();
  meter.FrameDrawEndNotice();
  meter.SwapCallNotice();
}

TEST(Allocation, NoneOnceTheHistoriesAreFull) {
  zel_scripted::SetStepPerRead(1000);  // every reading 1 us after the last
  for (int length : {1, 3, 60, 1000}) {
    CZelFrameRate meter(length);
    const long long before = allocations;
    for (int frame = 0; frame <= 4 * length; ++frame) Frame(meter);
    EXPECT_GT(allocations, before) << "filling the histories should allocate";
    const long long full = allocations;
    for (int frame = 0; frame < 10000; ++frame) Frame(meter);
    EXPECT_GT(meter.GetFrameRate(), 0.0f);
    EXPECT_EQ(allocations, full) << "length " << length;
    EXPECT_EQ(meter.GetBufferCount(), 4 * length);
  }
}

}  // namespace
