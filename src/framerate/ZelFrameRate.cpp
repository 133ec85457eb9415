#include "ZelFrameRate.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace {

// Drops the oldest sample if the history is over its limit. Limits are
// unsigned 32-bit, so a negative length never trims instead of comparing
// signed against the size.
void TrimOldest(std::vector<float>& history, std::uint32_t limit) {
  if (history.size() > limit) history.erase(history.begin());
}

}  // namespace

CZelFrameRate::CZelFrameRate(int historyLength)
    : m_FirstSwap(true), m_HistoryLength(historyLength) {}

CZelFrameRate::~CZelFrameRate() = default;

CZelFrameRate::CZelFrameRate(const CZelFrameRate& other) = default;

CZelFrameRate& CZelFrameRate::operator=(const CZelFrameRate& other) = default;

void CZelFrameRate::FrameDrawStartNotice() {
  CZelTimer& timer = m_DrawTimer;
  timer.Start();
}

void CZelFrameRate::FrameDrawEndNotice() {
  CZelTimer& timer = m_DrawTimer;
  timer.Stop();
  m_DrawHistory.push_back(static_cast<float>(timer.Get(CZelTimer::eMilliseconds)));
  // Four times the swap limit, wrapping modulo 2^32: unsigned keeps that defined.
  TrimOldest(m_DrawHistory, static_cast<std::uint32_t>(m_HistoryLength) * 4u);
}

void CZelFrameRate::SwapCallNotice() {
  CZelTimer& timer = m_SwapTimer;
  if (m_FirstSwap) {
    timer.Start();
    m_FirstSwap = false;
    return;
  }
  timer.Stop();
  m_SwapHistory.push_back(static_cast<float>(timer.Get(CZelTimer::eSeconds)));
  timer.Start();
  TrimOldest(m_SwapHistory, static_cast<std::uint32_t>(m_HistoryLength));
}

float CZelFrameRate::GetFrameRate() {
  if (m_SwapHistory.empty()) return -1.0f;
  double sum = 0.0;
  for (const float sample : m_SwapHistory) sum += sample;
  const double mean = sum / static_cast<double>(m_SwapHistory.size());
  if (mean == 0.0 || mean != mean) return -1.0f;
  return static_cast<float>(1.0 / mean);
}

std::vector<float> CZelFrameRate::GetDrawHistory() { return m_DrawHistory; }

std::vector<float> CZelFrameRate::GetSwapHistory() { return m_SwapHistory; }

int CZelFrameRate::GetBufferCount() {
  constexpr std::size_t kMaxCount = std::numeric_limits<int>::max();
  const std::size_t count = m_DrawHistory.size();
  return static_cast<int>(count < kMaxCount ? count : kMaxCount);
}
