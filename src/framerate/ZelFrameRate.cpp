#include "ZelFrameRate.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

// A history's public samples are the last min(size, limit) of its vector,
// oldest first. Dropping the oldest sample on every notice would move the
// whole history down one place per frame; instead up to `limit` dropped
// samples stay in front and go in one move once there are `limit` of them.
// Every notice then costs the same at any length, and the vector holds at
// most 2 x limit samples.
//
// Limits are the 32-bit length read as unsigned (a negative length never
// trims), widened so that doubling them cannot overflow.
using Limit = std::uint64_t;

Limit SwapLimit(int length) { return static_cast<std::uint32_t>(length); }
// Four times the swap limit, wrapping modulo 2^32.
Limit DrawLimit(int length) { return static_cast<std::uint32_t>(length) * 4u; }

std::size_t LiveCount(const std::vector<float>& history, Limit limit) {
  return history.size() < limit ? history.size() : static_cast<std::size_t>(limit);
}

const float* LiveBegin(const std::vector<float>& history, Limit limit) {
  return history.data() + (history.size() - LiveCount(history, limit));
}

std::vector<float> LiveCopy(const std::vector<float>& history, Limit limit) {
  const float* first = LiveBegin(history, limit);
  return std::vector<float>(first, first + LiveCount(history, limit));
}

// Once a history of `count` samples is full (or one short of it), room for
// the dropped samples as well, so that no later notice allocates. Limits a
// vector could never hold are never reached, so they reserve nothing.
void ReserveFor(std::vector<float>& history, std::size_t count, Limit limit) {
  if (count + 1 >= limit && 2 * limit <= history.max_size() && history.capacity() < 2 * limit)
    history.reserve(static_cast<std::size_t>(2 * limit));
}

void Append(std::vector<float>& history, float sample, Limit limit) {
  if (history.size() >= 2 * limit) {
    history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(limit));
  } else {
    ReserveFor(history, history.size(), limit);
  }
  history.push_back(sample);
}

// The public samples of `from`, with the capacity a full history needs.
void CopyHistory(std::vector<float>& to, const std::vector<float>& from, Limit limit) {
  const std::size_t count = LiveCount(from, limit);
  const float* first = LiveBegin(from, limit);
  to.clear();
  ReserveFor(to, count, limit);
  to.assign(first, first + count);
}

}  // namespace

CZelFrameRate::CZelFrameRate(int historyLength)
    : m_FirstSwap(true), m_HistoryLength(historyLength) {}

CZelFrameRate::~CZelFrameRate() = default;

CZelFrameRate::CZelFrameRate(const CZelFrameRate& other)
    : m_FirstSwap(other.m_FirstSwap),
      m_DrawTimer(other.m_DrawTimer),
      m_HistoryLength(other.m_HistoryLength),
      m_SwapTimer(other.m_SwapTimer) {
  CopyHistory(m_DrawHistory, other.m_DrawHistory, DrawLimit(m_HistoryLength));
  CopyHistory(m_SwapHistory, other.m_SwapHistory, SwapLimit(m_HistoryLength));
}

CZelFrameRate& CZelFrameRate::operator=(const CZelFrameRate& other) {
  if (this == &other) return *this;
  m_FirstSwap = other.m_FirstSwap;
  m_DrawTimer = other.m_DrawTimer;
  m_HistoryLength = other.m_HistoryLength;
  m_SwapTimer = other.m_SwapTimer;
  CopyHistory(m_DrawHistory, other.m_DrawHistory, DrawLimit(m_HistoryLength));
  CopyHistory(m_SwapHistory, other.m_SwapHistory, SwapLimit(m_HistoryLength));
  return *this;
}

void CZelFrameRate::FrameDrawStartNotice() {
  CZelTimer& timer = m_DrawTimer;
  timer.Start();
}

void CZelFrameRate::FrameDrawEndNotice() {
  CZelTimer& timer = m_DrawTimer;
  timer.Stop();
  Append(m_DrawHistory, static_cast<float>(timer.Get(CZelTimer::eMilliseconds)),
         DrawLimit(m_HistoryLength));
}

void CZelFrameRate::SwapCallNotice() {
  CZelTimer& timer = m_SwapTimer;
  if (m_FirstSwap) {
    timer.Start();
    m_FirstSwap = false;
    return;
  }
  timer.Stop();
  Append(m_SwapHistory, static_cast<float>(timer.Get(CZelTimer::eSeconds)),
         SwapLimit(m_HistoryLength));
  timer.Start();
}

float CZelFrameRate::GetFrameRate() {
  const Limit limit = SwapLimit(m_HistoryLength);
  const std::size_t count = LiveCount(m_SwapHistory, limit);
  if (count == 0) return -1.0f;
  const float* samples = LiveBegin(m_SwapHistory, limit);
  // The sum is one chain of additions in order. Widening four samples ahead
  // of it takes the loads and conversions off that chain; the additions and
  // their order are the plain loop's.
  double sum = 0.0;
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const double a = samples[i], b = samples[i + 1], c = samples[i + 2], d = samples[i + 3];
    sum += a;
    sum += b;
    sum += c;
    sum += d;
  }
  for (; i < count; ++i) sum += samples[i];
  const double mean = sum / static_cast<double>(count);
  if (mean == 0.0 || mean != mean) return -1.0f;
  return static_cast<float>(1.0 / mean);
}

std::vector<float> CZelFrameRate::GetDrawHistory() {
  return LiveCopy(m_DrawHistory, DrawLimit(m_HistoryLength));
}

std::vector<float> CZelFrameRate::GetSwapHistory() {
  return LiveCopy(m_SwapHistory, SwapLimit(m_HistoryLength));
}

int CZelFrameRate::GetBufferCount() {
  constexpr std::size_t kMaxCount = std::numeric_limits<int>::max();
  const std::size_t count = LiveCount(m_DrawHistory, DrawLimit(m_HistoryLength));
  return static_cast<int>(count < kMaxCount ? count : kMaxCount);
}
