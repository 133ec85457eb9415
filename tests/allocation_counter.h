// Counts the program's heap allocations: a program that links
// allocation_counter.cpp replaces the global operator new with one that
// counts every call in `allocations`, from any thread, and throws
// std::bad_alloc on the call whose count is `failingAllocation`; the
// largest size asked for is kept in `largestAllocation`.
#ifndef ZELTIMERS_TESTS_ALLOCATION_COUNTER_H
#define ZELTIMERS_TESTS_ALLOCATION_COUNTER_H

#include <atomic>
#include <cstddef>

extern std::atomic<long long> allocations;
extern std::atomic<long long> failingAllocation;
extern std::atomic<std::size_t> largestAllocation;

#endif
