// Scripted clock and sleep for deterministic tests (see scripted_platform.h).
#include "scripted_platform.h"

#include <algorithm>
#include <cstddef>

#include "platform.h"

namespace {

struct ScriptedState {
  std::int64_t now = 0;
  std::int64_t step = 0;
  std::vector<std::int64_t> overshoots;
  std::size_t nextOvershoot = 0;
  std::int64_t thereafter = 0;
  std::int64_t reads = 0;
  std::int64_t sleeps = 0;
  bool busy = false;
  std::int64_t coresReads = 0;
  std::int64_t coresReadCost = 0;
  bool shortSlices = false;
  std::int64_t shortSliceSleeps = 0;
  std::int64_t cpu = 0;
  std::int64_t queued = -1;         // RunQueueWaitNs(), -1 for unknown
  std::int64_t queuedPerSleep = 0;  // what each sleep adds to it
};

thread_local ScriptedState state;

}  // namespace

namespace zel_pacing_platform {

std::int64_t Now() {
  ++state.reads;
  const std::int64_t now = state.now;
  state.now += state.step;
  state.cpu += state.step;
  return now;
}

void SleepUntil(std::int64_t deadlineNs) {
  ++state.sleeps;
  state.shortSliceSleeps += state.shortSlices ? 1 : 0;
  const std::int64_t overshoot = state.nextOvershoot < state.overshoots.size()
                                     ? state.overshoots[state.nextOvershoot++]
                                     : state.thereafter;
  state.now = std::max(state.now, deadlineNs + overshoot);
  if (state.queued >= 0) state.queued += state.queuedPerSleep;
}

std::int64_t ThreadCpuNs() { return state.cpu; }

bool CoresBusy() {
  ++state.coresReads;
  state.now += state.coresReadCost;
  return state.busy;
}

std::int64_t RunQueueWaitNs() { return state.queued; }

void ShortSlices(bool on) { state.shortSlices = on; }

}  // namespace zel_pacing_platform

namespace zel_scripted_pacing {

void SetNow(std::int64_t ns) { state.now = ns; }
std::int64_t Now() { return state.now; }
void Advance(std::int64_t ns) { state.now += ns; }
void SetStepPerRead(std::int64_t ns) { state.step = ns; }
void ScriptOvershoots(const std::vector<std::int64_t>& overshoots, std::int64_t thereafter) {
  state.overshoots = overshoots;
  state.nextOvershoot = 0;
  state.thereafter = thereafter;
}
std::int64_t Reads() { return state.reads; }
std::int64_t Sleeps() { return state.sleeps; }
std::int64_t ShortSliceSleeps() { return state.shortSliceSleeps; }
bool OnShortSlices() { return state.shortSlices; }
void SetCoresBusy(bool busy) { state.busy = busy; }
void SetCoresReadCost(std::int64_t ns) { state.coresReadCost = ns; }
std::int64_t CoresReads() { return state.coresReads; }
void ScriptRunQueueWait(std::int64_t perSleepNs) {
  state.queued = std::max<std::int64_t>(state.queued, 0);
  state.queuedPerSleep = perSleepNs;
}
void Restore() { state = ScriptedState(); }

}  // namespace zel_scripted_pacing
