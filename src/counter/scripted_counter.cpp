// Scripted counter for deterministic tests (see scripted_counter.h).
#include "scripted_counter.h"

#include "counter.h"

namespace {

struct ScriptedState {
  std::int64_t frequency = 1000000000;
  bool frequencyOk = true;
  std::int64_t count = 0;
  std::int64_t step = 0;
  std::int64_t counterReads = 0;
  std::int64_t frequencyReads = 0;
};

// Thread-local so that tests running objects on several threads each drive
// their own clock.
thread_local ScriptedState state;

}  // namespace

namespace zel_counter {

bool QueryPerformanceFrequency(std::int64_t* countsPerSecond) {
  ++state.frequencyReads;
  *countsPerSecond = state.frequencyOk ? state.frequency : 0;
  return state.frequencyOk;
}

bool QueryPerformanceCounter(std::int64_t* count) {
  ++state.counterReads;
  *count = state.count;
  state.count += state.step;
  return true;
}

}  // namespace zel_counter

namespace zel_scripted {

void SetFrequency(std::int64_t countsPerSecond, bool ok) {
  state.frequency = countsPerSecond;
  state.frequencyOk = ok;
}
void SetCount(std::int64_t count) { state.count = count; }
void Advance(std::int64_t counts) { state.count += counts; }
void SetStepPerRead(std::int64_t counts) { state.step = counts; }
std::int64_t CounterReads() { return state.counterReads; }
std::int64_t FrequencyReads() { return state.frequencyReads; }
void ResetReads() {
  state.counterReads = 0;
  state.frequencyReads = 0;
}
void Restore() { state = ScriptedState(); }

}  // namespace zel_scripted
