#include "ZelAnalysis/FrameRecorder.h"

#include <chrono>

namespace zel_analysis {

std::int64_t FrameRecorder::SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

FrameRecorder::FrameRecorder(std::size_t frames, Clock clock) : m_Clock(clock) {
  m_Frames.reserve(frames);
}

void FrameRecorder::FrameDrawStartNotice() { m_DrawStart = m_Clock(); }

void FrameRecorder::FrameDrawEndNotice() { m_Draw = m_Clock() - m_DrawStart; }

void FrameRecorder::SwapCallNotice() {
  const std::int64_t now = m_Clock();
  if (!m_Started) {
    m_Started = true;
    m_FirstSwap = now;
  } else {
    m_Frames.push_back({now - m_FirstSwap, now - m_LastSwap, m_Draw});
  }
  m_LastSwap = now;
  m_Draw = 0;
}

std::vector<Frame> FrameRecorder::TakeFrames() {
  std::vector<Frame> frames;
  frames.swap(m_Frames);
  return frames;
}

}  // namespace zel_analysis
