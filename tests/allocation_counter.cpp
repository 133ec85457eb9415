// The counting operator new of allocation_counter.h. The replacement covers
// the whole program, so only programs that count allocations link it.
#include "allocation_counter.h"

#include <cstdlib>
#include <new>

std::atomic<long long> allocations{0};
std::atomic<long long> failingAllocation{-1};
std::atomic<std::size_t> largestAllocation{0};

void* operator new(std::size_t size) {
  if (++allocations == failingAllocation) throw std::bad_alloc();
  for (std::size_t largest = largestAllocation; size > largest;)
    if (largestAllocation.compare_exchange_weak(largest, size)) break;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
