// A wall timer over the scripted counter, driven by arbitrary operations:
// Set, AdjustStartTime, Get, Report, ReportElapsed, Start and Stop with any
// precision value, counter steps, and frequencies including none at all.
//
// Input: a sequence of one operation byte followed by that operation's
// arguments, read until the input runs out.
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "ZelTimer.h"
#include "counter/scripted_counter.h"
#include "fuzz_support.h"

using namespace zel_fuzz;

namespace {

using Precision = CZelTimer::EPrecisionType;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

double Step(double x) {
  const double magnitude = std::fabs(x);
  return std::nextafter(magnitude, 2.0 * magnitude + 1.0) - magnitude;
}

// Every report is "<number> <unit word>": an optional minus, digits, '.', one
// decimal (two for days), one blank, and the word of the unit the number is
// in, empty for a precision outside 1 to 5. The number is the elapsed time
// in that unit, correctly rounded.
void CheckReport(ProbeTimer& timer, Precision precision, const std::string& text) {
  Require(text.size() <= 29, "report at most 29 characters");
  const double seconds = timer.Get(CZelTimer::eSeconds);
  const char* unit = "";
  double scaled = seconds;
  int decimals = 1;
  switch (precision) {
    case CZelTimer::eMilliseconds:
    case CZelTimer::eSeconds:
    case CZelTimer::eMinutes:
    case CZelTimer::eHours: {
      static const char* const kWords[] = {"milliseconds", "seconds", "minutes", "hours"};
      unit = kWords[precision - CZelTimer::eMilliseconds];
      scaled = timer.Get(precision);
      break;
    }
    case CZelTimer::eAutomatic:
      if (seconds < 1.0) {
        unit = "milliseconds";
        scaled = timer.Get(CZelTimer::eMilliseconds);
      } else if (seconds < 60.0) {
        unit = "seconds";
      } else if (seconds < 3600.0) {
        unit = "minutes";
        scaled = timer.Get(CZelTimer::eMinutes);
      } else if (seconds < 86400.0) {
        unit = "hours";
        scaled = timer.Get(CZelTimer::eHours);
      } else {
        unit = "days";
        scaled = seconds / 86400.0;
        decimals = 2;
      }
      break;
    default:
      break;
  }

  std::size_t i = text.empty() || text[0] != '-' ? 0 : 1;
  const std::size_t digitsStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  Require(i > digitsStart && i < text.size() && text[i] == '.', "digits, then '.'");
  const std::size_t fractionStart = ++i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  Require(i - fractionStart == static_cast<std::size_t>(decimals), "decimals of the unit");
  Require(i < text.size() && text[i] == ' ', "one blank after the number");
  Require(text.compare(i + 1, std::string::npos, unit) == 0, "unit word of the precision");

  double printed = 0.0;
  const auto parsed = std::from_chars(text.data(), text.data() + i, printed);
  Require(parsed.ec == std::errc() && parsed.ptr == text.data() + i, "number parses");
  const double half = decimals == 1 ? 0.05 : 0.005;
  Require(std::fabs(printed - scaled) <= half + 4.0 * Step(scaled), "number is the value");
}

Precision AnyPrecision(Reader& in) { return static_cast<Precision>(in.Take<std::int32_t>()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Reports must not follow a decimal-comma locale; use one where installed.
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) break;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zel_scripted::Restore();
  ProbeTimer timer;
  Reader in(data, size);
  while (!in.Empty()) {
    switch (in.Take<std::uint8_t>() % 9) {
      case 0: {
        const auto seconds = in.Take<double>();
        timer.Set(seconds);
        RequireRoundTrip(seconds, timer.Get(CZelTimer::eSeconds), "Set then Get round-trips");
        break;
      }
      case 1: {
        const auto seconds = in.Take<double>();
        const std::int64_t exact = Total(timer.start()) + Total(CZelTimeValue(seconds));
        timer.AdjustStartTime(seconds);
        RequireExactOrSaturated(timer.start(), exact, "start time exact or saturated");
        break;
      }
      case 2:
        Require(std::isfinite(timer.Get(AnyPrecision(in))), "Get is finite");
        break;
      case 3: {
        const Precision precision = AnyPrecision(in);
        CheckReport(timer, precision, timer.Report(precision));
        break;
      }
      case 4: {
        const Precision precision = AnyPrecision(in);
        const std::string text = timer.ReportElapsed(precision);
        CheckReport(timer, precision, text);
        break;
      }
      case 5:
        timer.Start();
        Require(std::isfinite(timer.start().Get()), "start time is finite");
        break;
      case 6:
        Require(std::isfinite(timer.Elapsed(AnyPrecision(in))), "Elapsed is finite");
        break;
      case 7:
        // Bounded so the scripted count itself cannot overflow in one input.
        zel_scripted::SetCount(in.Take<std::int64_t>() / 4);
        zel_scripted::SetStepPerRead(in.Take<std::int32_t>());
        zel_scripted::Advance(in.Take<std::int64_t>() / (std::int64_t{1} << 24));
        break;
      default: {
        const auto frequency = in.Take<std::int64_t>();
        zel_scripted::SetFrequency(frequency, (in.Take<std::uint8_t>() & 1) == 0);
        ProbeTimer copy(timer);
        Require(Fields(copy.start()) == Fields(timer.start()), "copies keep the start time");
        timer = ProbeTimer();
        break;
      }
    }
  }
  return 0;
}
