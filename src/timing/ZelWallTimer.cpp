#include "ZelWallTimer.h"

#include <cstdint>

#include "../counter/counter.h"

CZelWallTimer::CZelWallTimer() : m_CountsPerSecond(0.0) {
  std::int64_t frequency = 0;
  zel_counter::QueryPerformanceFrequency(&frequency);
  m_CountsPerSecond = static_cast<double>(frequency);
}

CZelWallTimer::CZelWallTimer(const CZelWallTimer& other) = default;

CZelWallTimer& CZelWallTimer::operator=(const CZelWallTimer& other) = default;

namespace {

// One counter read, as seconds since the counter's zero point.
double ReadClock(double countsPerSecond) {
  std::int64_t count = 0;
  zel_counter::QueryPerformanceCounter(&count);
  // Without a usable frequency the clock stands still rather than dividing
  // by zero (or by a negative rate) into a non-finite time.
  if (!(countsPerSecond > 0.0)) return 0.0;
  return static_cast<double>(count) / countsPerSecond;
}

}  // namespace

void CZelWallTimer::Start() { m_StartTime.Set(ReadClock(m_CountsPerSecond)); }

void CZelWallTimer::Stop() {
  const double now = ReadClock(m_CountsPerSecond);
  m_ElapsedTime.Set(now - m_StartTime.Get());
}

double CZelWallTimer::Elapsed(EPrecisionType precision) {
  Stop();
  return Get(precision);
}
