#include "ZelTimer.h"

#include <charconv>
#include <cstring>
#include <string>

#include "units.h"

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
  using namespace zel_units;
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

// "%.<precision>f <unit>" in the C locale's notation. std::to_chars is
// specified as printf in the C locale, so the text is the same whatever the
// host's locale, on every C runtime (glibc, msvcrt, UCRT, Wine's), and on
// every thread.
std::string Format(double number, int precision, const char* unit) {
  char buffer[kReportBufferSize];
  char* const end = buffer + sizeof buffer;
  char* next = std::to_chars(buffer, end, number, std::chars_format::fixed, precision).ptr;
  *next++ = ' ';
  const std::size_t unitLength = std::strlen(unit);
  std::memcpy(next, unit, unitLength);
  return std::string(buffer, next + unitLength);
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
  return Format(Get(precision), 1, unit);
}

std::string CZelTimer::ReportElapsed(EPrecisionType precision) {
  Stop();
  return Report(precision);
}

std::string CZelTimer::ReportAutoTime(CZelTimeValue& value) {
  using namespace zel_units;
  const double v = value.Get();
  if (v < 1.0) return Format(v * kMillisecondsPerSecond, 1, "milliseconds");
  if (v < kSecondsPerMinute) return Format(v, 1, "seconds");
  if (v < kSecondsPerHour) return Format(v * kMinutesPerSecond, 1, "minutes");
  if (v < kSecondsPerDay) return Format(v * kHoursPerSecond, 1, "hours");
  return Format(v * kDaysPerSecond, 2, "days");
}
