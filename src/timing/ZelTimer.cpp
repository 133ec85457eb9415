#include "ZelTimer.h"

#include "units.h"

using namespace zel_units;

CZelTimer::CZelTimer() = default;

CZelTimer::CZelTimer(const CZelTimer& other) = default;

CZelTimer& CZelTimer::operator=(const CZelTimer& other) = default;

void CZelTimer::Reset() { m_ElapsedTime.Set(0.0); }

void CZelTimer::Set(double seconds) { m_ElapsedTime.Set(seconds); }

void CZelTimer::AdjustStartTime(double seconds) {
  CZelTimeValue shift(seconds);
  m_StartTime = m_StartTime + shift;
}

double CZelTimer::Get(EPrecisionType precision) {
  const double v = m_ElapsedTime.Get();
  switch (precision) {
    case eMilliseconds:
      return v * kMillisecondsPerSecond;
    case eMinutes:
      return v * kMinutesPerSecond;
    case eHours:
      return v * kHoursPerSecond;
    default:
      return v;
  }
}
