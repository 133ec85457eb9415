#include "pacer.h"

namespace framedemo {

Pacer::Pacer(double fps)
    : m_Period(fps > 0.0
                   ? std::chrono::round<Clock::duration>(std::chrono::duration<double>(1.0 / fps))
                   : Clock::duration::zero()) {}

void Pacer::Begin(Clock::time_point now) { m_Deadline = now; }

bool Pacer::Shown(Clock::time_point shownAt) {
  if (m_Period == Clock::duration::zero()) {
    m_Deadline = shownAt;
    return false;
  }
  const Clock::duration lateness = shownAt - m_Deadline;
  const bool late = lateness > m_Period / 2;
  m_Deadline = (lateness > m_Period ? shownAt : m_Deadline) + m_Period;
  return late;
}

}  // namespace framedemo
