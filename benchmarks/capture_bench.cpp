// zel-capture's cost per present, beside a bare read of the counter it
// times with: what the hook adds to a present call (the nesting check, two
// counter readings, finding the swap chain, one push into its ring), from
// one thread and from two threads presenting their own swap chains at once.
// The session's writing thread drains the rings meanwhile; its window is
// set to start after the run, so it writes nothing. Counts heap
// allocations per present too (after the first present of each chain). Its
// output folder does not exist, so nothing is ever written.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "../tests/allocation_counter.h"
#include "session.h"

namespace {

zel_capture::Session& Shared() {
  static zel_capture::Session* session = [] {
    zel_capture::Config config;
    config.output = "/nonexistent-zel-capture-bench/";
    config.startAfterNs = std::int64_t{1} << 62;
    return new zel_capture::Session(config, "bench", 0);
  }();
  return *session;
}

void BM_CounterRead(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(zel_capture::Now());
}
BENCHMARK(BM_CounterRead)->ThreadRange(1, 2);

void BM_Present(benchmark::State& state) {
  zel_capture::Session& session = Shared();
  const std::uint64_t key = 0x5000 + static_cast<std::uint64_t>(state.thread_index());
  session.Record(key, 0, 1);  // the swap chain's first present
  const long long before = allocations;
  for (auto _ : state) {
    const zel_capture::PresentScope scope;
    if (scope.Outer()) session.Record(key, scope.Call(), zel_capture::Now());
  }
  state.counters["allocs/present"] = benchmark::Counter(static_cast<double>(allocations - before) /
                                                        static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Present)->ThreadRange(1, 2);

}  // namespace

BENCHMARK_MAIN();
