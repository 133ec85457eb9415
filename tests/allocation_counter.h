// Counts the program's heap allocations: a program that links
// allocation_counter.cpp replaces the global operator new with one that
// counts every call in `allocations`.
#ifndef ZELTIMERS_TESTS_ALLOCATION_COUNTER_H
#define ZELTIMERS_TESTS_ALLOCATION_COUNTER_H

extern long long allocations;

#endif
