// Counts the program's heap allocations with a replaced global operator new.
// Include it in one source file of a program only: the replacement covers
// the whole program, and its definitions may appear once.
#ifndef ZELTIMERS_TESTS_ALLOCATION_COUNTER_H
#define ZELTIMERS_TESTS_ALLOCATION_COUNTER_H

#include <cstdlib>
#include <new>

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

#endif
