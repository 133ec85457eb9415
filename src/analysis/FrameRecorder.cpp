#include "ZelAnalysis/FrameRecorder.h"

#include <cmath>

namespace zel_analysis {

FrameRecorder::FrameRecorder(std::size_t frames) {
  m_Frames.reserve(frames);
  m_Clock.Start();
}

// Nanoseconds since the recorder was made: the timer keeps whole
// nanoseconds, and its double seconds carry them exactly below 2^21 s.
std::int64_t FrameRecorder::Now() {
  return std::llround(m_Clock.Elapsed(CZelTimer::eSeconds) * 1e9);
}

void FrameRecorder::FrameDrawStartNotice() { m_DrawStart = Now(); }

void FrameRecorder::FrameDrawEndNotice() { m_Draw = Now() - m_DrawStart; }

void FrameRecorder::SwapCallNotice() {
  const std::int64_t now = Now();
  if (!m_Started) {
    m_Started = true;
    m_FirstSwap = now;
  } else {
    m_Frames.push_back({now - m_FirstSwap, now - m_LastSwap, m_Draw});
  }
  m_LastSwap = now;
  m_Draw = 0;
}

}  // namespace zel_analysis
