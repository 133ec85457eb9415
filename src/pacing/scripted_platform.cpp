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
  std::int64_t preciseSleeps = 0;
  std::int64_t cpu = 0;
  std::int64_t stallAtRead = -1;
  std::int64_t stallNs = 0;
};

thread_local ScriptedState state;

}  // namespace

namespace zel_pacing_platform {

std::int64_t Now() {
  if (state.reads++ == state.stallAtRead) state.now += state.stallNs;
  const std::int64_t now = state.now;
  state.now += state.step;
  state.cpu += state.step;
  return now;
}

void SleepUntil(std::int64_t deadlineNs, bool precise) {
  state.preciseSleeps += precise ? 1 : 0;
  const std::int64_t overshoot = state.nextOvershoot < state.overshoots.size()
                                     ? state.overshoots[state.nextOvershoot++]
                                     : state.thereafter;
  state.now = std::max(state.now, deadlineNs + overshoot);
}

std::int64_t ThreadCpuNs() { return state.cpu; }

}  // namespace zel_pacing_platform

namespace zel_scripted_pacing {

void SetNow(std::int64_t ns) { state.now = ns; }
std::int64_t Now() { return state.now; }
void Advance(std::int64_t ns) { state.now += ns; }
void ScriptOvershoots(const std::vector<std::int64_t>& overshoots, std::int64_t thereafter) {
  state.overshoots = overshoots;
  state.nextOvershoot = 0;
  state.thereafter = thereafter;
}
void StallAfterReads(std::int64_t reads, std::int64_t ns) {
  state.stallAtRead = state.reads + reads;
  state.stallNs = ns;
}
std::int64_t Reads() { return state.reads; }
std::int64_t PreciseSleeps() { return state.preciseSleeps; }
void Restore(std::int64_t stepNs) {
  state = ScriptedState();
  state.step = stepNs;
}

}  // namespace zel_scripted_pacing
