// Report texts and their readings.
#include <clocale>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <string>

#include "ZelWallTimer.h"
#include "test_support.h"

namespace {

struct ReportCase {
  double seconds;
  int precision;
  const char* want;
};
void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.seconds << " s in " << c.precision; }

class ReportText : public ScriptedClockTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ReportText, MatchesTheUnitTable) {
  ProbeTimer timer;
  timer.Set(GetParam().seconds);
  EXPECT_EQ(timer.Report(static_cast<CZelTimer::EPrecisionType>(GetParam().precision)),
            GetParam().want);
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Table, ReportText,
    ::testing::Values(
        // Named units, and a precision outside 1 to 5.
        ReportCase{0.0123, 1, "12.3 milliseconds"}, ReportCase{90.0, 3, "1.5 minutes"},
        ReportCase{90.0, 2, "90.0 seconds"}, ReportCase{5400.0, 4, "1.5 hours"},
        ReportCase{2.5, 0, "2.5 "},
        // Exact ties round to even, as printf does.
        ReportCase{0.25, 2, "0.2 seconds"}, ReportCase{0.75, 2, "0.8 seconds"},
        // Automatic: strict less-than on the unscaled seconds.
        ReportCase{0.0, 5, "0.0 milliseconds"}, ReportCase{0.5, 5, "500.0 milliseconds"},
        ReportCase{1.0, 5, "1.0 seconds"}, ReportCase{59.99, 5, "60.0 seconds"},
        ReportCase{60.0, 5, "1.0 minutes"}, ReportCase{90.0, 5, "1.5 minutes"},
        ReportCase{3600.0, 5, "1.0 hours"}, ReportCase{85000.0, 5, "23.6 hours"},
        ReportCase{86400.0, 5, "1.00 days"}, ReportCase{129600.0, 5, "1.50 days"},
        ReportCase{-2.0, 5, "-2000.0 milliseconds"},
        // The ends of the range.
        ReportCase{kInf, 5, "24855.13 days"},
        ReportCase{-kInf, 5, "-2147483649000.0 milliseconds"}));

using Report = ScriptedClockTest;

TEST_F(Report, ReportReadsNoClockAndReportElapsedReadsOnce) {
  ProbeTimer timer;
  timer.Start();
  zel_scripted::SetCount(1500000000);
  zel_scripted::ResetReads();
  EXPECT_EQ(timer.Report(CZelTimer::eAutomatic), "0.0 milliseconds");
  EXPECT_EQ(zel_scripted::CounterReads(), 0);
  EXPECT_EQ(timer.ReportElapsed(CZelTimer::eAutomatic), "1.5 seconds");
  EXPECT_EQ(zel_scripted::CounterReads(), 1);
  zel_scripted::SetCount(3000000000);
  EXPECT_EQ(timer.ReportElapsed(CZelTimer::eMilliseconds), "3000.0 milliseconds");
}

// A host in a decimal-comma locale still gets a decimal point. CI generates
// de_DE.UTF-8 and sets ZELTIMERS_NEED_LOCALE, so there the test cannot skip.
TEST_F(Report, DecimalPointWhateverTheHostLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    if (std::getenv("ZELTIMERS_NEED_LOCALE") != nullptr) FAIL() << "no de_DE.UTF-8 locale";
    GTEST_SKIP() << "no de_DE.UTF-8 locale installed";
  }
  ProbeTimer timer;
  timer.Set(129600.0);
  const std::string days = timer.Report(CZelTimer::eAutomatic);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(days, "1.50 days");
}

}  // namespace
