#include "ZelTimer.h"

#include <cstdio>
#include <cstring>
#include <string>

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

namespace {

constexpr std::size_t kReportBufferSize = 1024;

// printf writes the host locale's decimal separator, which may be a comma or
// even several bytes. The report texts are fixed, so whatever stands between
// the integer digits and the fraction digits becomes a single '.'.
std::string Format(const char* format, double number, const char* unit) {
  char buffer[kReportBufferSize];
  const int written = std::snprintf(buffer, sizeof buffer, format, number, unit);
  if (written < 0) return std::string();
  std::size_t length = static_cast<std::size_t>(written) < sizeof buffer
                           ? static_cast<std::size_t>(written)
                           : sizeof buffer - 1;
  std::size_t integerEnd = (buffer[0] == '-') ? 1 : 0;
  while (integerEnd < length && buffer[integerEnd] >= '0' && buffer[integerEnd] <= '9')
    ++integerEnd;
  std::size_t fractionStart = integerEnd;
  while (fractionStart < length && !(buffer[fractionStart] >= '0' && buffer[fractionStart] <= '9'))
    ++fractionStart;
  if (fractionStart < length && (fractionStart - integerEnd != 1 || buffer[integerEnd] != '.')) {
    buffer[integerEnd] = '.';
    std::memmove(buffer + integerEnd + 1, buffer + fractionStart, length - fractionStart);
    length -= fractionStart - integerEnd - 1;
  }
  return std::string(buffer, length);
}

}  // namespace

std::string CZelTimer::Report(EPrecisionType precision) {
  const char* unit = "";
  switch (precision) {
    case eMilliseconds:
      unit = "milliseconds";
      break;
    case eSeconds:
      unit = "seconds";
      break;
    case eMinutes:
      unit = "minutes";
      break;
    case eHours:
      unit = "hours";
      break;
    case eAutomatic:
      return ReportAutoTime(m_ElapsedTime);
  }
  return Format("%.1f %s", Get(precision), unit);
}

std::string CZelTimer::ReportElapsed(EPrecisionType precision) {
  Stop();
  return Report(precision);
}

std::string CZelTimer::ReportAutoTime(CZelTimeValue& value) {
  const double v = value.Get();
  if (v < 1.0) return Format("%.1f %s", v * kMillisecondsPerSecond, "milliseconds");
  if (v < kSecondsPerMinute) return Format("%.1f %s", v, "seconds");
  if (v < kSecondsPerHour) return Format("%.1f %s", v * kMinutesPerSecond, "minutes");
  if (v < kSecondsPerDay) return Format("%.1f %s", v * kHoursPerSecond, "hours");
  return Format("%.2f %s", v * kDaysPerSecond, "days");
}
