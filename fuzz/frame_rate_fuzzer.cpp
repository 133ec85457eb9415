// The frame-rate meter over the scripted counter, driven by an arbitrary
// sequence of notices, history lengths, copies and counter steps.
//
// Input: the history length and counter frequency, then a sequence of one
// operation byte followed by that operation's arguments.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ZelFrameRate.h"
#include "counter/scripted_counter.h"
#include "fuzz_support.h"

using namespace zel_fuzz;

namespace {

using Samples = std::vector<float>;

// Mostly short histories, so that trimming happens within one input; any
// int now and then, so that negative and wrapping lengths are covered too.
int AnyLength(Reader& in) {
  const auto choice = in.Take<std::uint8_t>();
  const auto raw = in.Take<std::int32_t>();
  return choice < 32 ? raw : static_cast<int>(choice % 17);
}

// Tracks one meter: what its histories must look like after each call.
class Checked {
public:
  explicit Checked(int length) : m_Meter(length) { Expect(length); }

  void DrawStart() { m_Meter.FrameDrawStartNotice(); }

  void DrawEnd() {
    const Samples before = m_Meter.GetDrawHistory();
    m_Meter.FrameDrawEndNotice();
    const Samples after = m_Meter.GetDrawHistory();
    RequireAppended(before, after, m_DrawLimit, "draw history");
    Require(m_Meter.GetBufferCount() == static_cast<int>(after.size()),
            "GetBufferCount is the draw history's size");
  }

  void Swap() {
    const Samples before = m_Meter.GetSwapHistory();
    m_Meter.SwapCallNotice();
    const Samples after = m_Meter.GetSwapHistory();
    if (m_WaitingForFirstSwap) {
      Require(after == before, "the first swap records nothing");
      m_WaitingForFirstSwap = false;
    } else {
      RequireAppended(before, after, m_SwapLimit, "swap history");
    }
    CheckFrameRate();
  }

  void CheckFrameRate() {
    const float rate = m_Meter.GetFrameRate();
    if (m_Meter.GetSwapHistory().empty()) {
      Require(rate == -1.0f, "no rate without samples");
    } else {
      Require(std::isfinite(rate), "the rate is finite");
    }
  }

  void CopyAndCompare() {
    CZelFrameRate copy(m_Meter);
    Require(copy.GetDrawHistory() == m_Meter.GetDrawHistory() &&
                copy.GetSwapHistory() == m_Meter.GetSwapHistory() &&
                copy.GetFrameRate() == m_Meter.GetFrameRate(),
            "a copy has the same histories");
  }

  // Assigning a new meter starts over: empty, waiting for a first swap.
  void AssignNew(int length) {
    m_Meter = CZelFrameRate(length);
    Expect(length);
  }

private:
  void Expect(int length) {
    m_SwapLimit = static_cast<std::uint32_t>(length);
    m_DrawLimit = static_cast<std::uint32_t>(length) * 4u;
    m_WaitingForFirstSwap = true;
    Require(m_Meter.GetDrawHistory().empty() && m_Meter.GetSwapHistory().empty() &&
                m_Meter.GetBufferCount() == 0,
            "a new meter is empty");
  }

  // One sample appended at the end, and the oldest dropped if that went over
  // the limit: the history never exceeds it and keeps its order.
  static void RequireAppended(const Samples& before, const Samples& after, std::uint32_t limit,
                              const char* what) {
    Require(after.size() <= limit, what);
    if (before.size() < limit) {
      Require(after.size() == before.size() + 1 &&
                  std::equal(before.begin(), before.end(), after.begin()),
              what);
    } else if (limit > 0) {
      Require(after.size() == before.size() &&
                  std::equal(before.begin() + 1, before.end(), after.begin()),
              what);
    }
  }

  CZelFrameRate m_Meter;
  std::uint32_t m_SwapLimit = 0;
  std::uint32_t m_DrawLimit = 0;
  bool m_WaitingForFirstSwap = true;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zel_scripted::Restore();
  Reader in(data, size);
  const auto frequencyChoice = in.Take<std::uint8_t>();
  const auto frequency = in.Take<std::int64_t>();
  if (frequencyChoice < 16) zel_scripted::SetFrequency(frequency, (frequencyChoice & 1) == 0);
  Checked meter(AnyLength(in));
  while (!in.Empty()) {
    switch (in.Take<std::uint8_t>() % 7) {
      case 0:
        meter.DrawStart();
        break;
      case 1:
        meter.DrawEnd();
        break;
      case 2:
        meter.Swap();
        break;
      case 3:
        // Bounded so the scripted count itself cannot overflow in one input.
        zel_scripted::Advance(in.Take<std::int32_t>());
        break;
      case 4:
        zel_scripted::SetStepPerRead(in.Take<std::int16_t>());
        break;
      case 5:
        meter.CopyAndCompare();
        break;
      default:
        meter.AssignNew(AnyLength(in));
        break;
    }
  }
  meter.CheckFrameRate();
  return 0;
}
