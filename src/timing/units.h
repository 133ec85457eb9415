// Unit multipliers shared by CZelTimer::Get and the reports, so the two
// cannot drift apart. Each is the double nearest its fraction; conversions
// multiply by them rather than divide, which fixes the rounding.
#ifndef ZELTIMERS_SRC_TIMING_UNITS_H
#define ZELTIMERS_SRC_TIMING_UNITS_H

namespace zel_units {

constexpr double kMillisecondsPerSecond = 1000.0;
constexpr double kMinutesPerSecond = 0.016666666666666666;  // 1/60
constexpr double kHoursPerSecond = 0.0002777777777777778;   // 1/3600
constexpr double kDaysPerSecond = 1.1574074074074073e-05;   // 1/86400

constexpr double kSecondsPerMinute = 60.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kSecondsPerDay = 86400.0;

}  // namespace zel_units

#endif
