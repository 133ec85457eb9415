// Report texts and their readings.
#include <clocale>
#include <cstdint>
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

class ReportText : public ScriptedClockTest, public ::testing::WithParamInterface<ReportCase> {};

// GoogleTest would otherwise print the case's raw bytes, padding included,
// which memory checkers rightly report as uninitialised reads.
void PrintTo(const ReportCase& c, std::ostream* os) {
  *os << c.seconds << " s, precision " << c.precision;
}

TEST_P(ReportText, MatchesTheUnitTable) {
  ProbeTimer timer;
  timer.Set(GetParam().seconds);
  const std::string text =
      timer.Report(static_cast<CZelTimer::EPrecisionType>(GetParam().precision));
  EXPECT_EQ(text, GetParam().want)
      << GetParam().seconds << " s, precision " << GetParam().precision;
  EXPECT_LE(text.size(), 29u);
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Table, ReportText,
    ::testing::Values(
        // Named units.
        ReportCase{0.0123, 1, "12.3 milliseconds"}, ReportCase{90.0, 3, "1.5 minutes"},
        ReportCase{90.0, 2, "90.0 seconds"}, ReportCase{5400.0, 4, "1.5 hours"},
        ReportCase{2.5, 0, "2.5 "}, ReportCase{2.5, 6, "2.5 "}, ReportCase{2.5, -3, "2.5 "},
        // printf rounds exact ties to even.
        ReportCase{0.25, 2, "0.2 seconds"}, ReportCase{0.75, 2, "0.8 seconds"},
        // Automatic: strict less-than on the unscaled seconds.
        ReportCase{0.0, 5, "0.0 milliseconds"}, ReportCase{0.5, 5, "500.0 milliseconds"},
        ReportCase{1.0, 5, "1.0 seconds"}, ReportCase{59.99, 5, "60.0 seconds"},
        ReportCase{60.0, 5, "1.0 minutes"}, ReportCase{90.0, 5, "1.5 minutes"},
        ReportCase{3600.0, 5, "1.0 hours"}, ReportCase{86400.0, 5, "1.00 days"},
        ReportCase{129600.0, 5, "1.50 days"}, ReportCase{-2.0, 5, "-2000.0 milliseconds"},
        ReportCase{-7200.0, 5, "-7200000.0 milliseconds"},
        // The ends of the range, where the texts are longest.
        ReportCase{kInf, 5, "24855.13 days"}, ReportCase{kInf, 1, "2147483648000.0 milliseconds"},
        ReportCase{-kInf, 5, "-2147483649000.0 milliseconds"},
        ReportCase{-kInf, 7, "-2147483649.0 "}));

using Report = ScriptedClockTest;

TEST_F(Report, LongestTextFromTheMostNegativePair) {
  ProbeTimer timer;
  const std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  timer.elapsed() = MakeValue(kMin, kMin);
  EXPECT_EQ(timer.Report(CZelTimer::eAutomatic), "-2147483650147.5 milliseconds");
  EXPECT_EQ(timer.Report(CZelTimer::eMilliseconds), "-2147483650147.5 milliseconds");
}

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
  EXPECT_EQ(timer.Report(CZelTimer::eSeconds), "3.0 seconds");
}

// A host in a decimal-comma locale still gets a decimal point.
TEST_F(Report, DecimalPointWhateverTheHostLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      found = name;
      break;
    }
  }
  if (found == nullptr) GTEST_SKIP() << "no decimal-comma locale installed (try de_DE.UTF-8)";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 12.3);
  ProbeTimer timer;
  timer.Set(0.0123);
  const std::string named = timer.Report(CZelTimer::eMilliseconds);
  timer.Set(129600.0);
  const std::string days = timer.Report(CZelTimer::eAutomatic);
  timer.Set(-2.0);
  const std::string negative = timer.Report(CZelTimer::eAutomatic);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_STREQ(probe, "12,3") << "locale " << found << " does not use a decimal comma";
  EXPECT_EQ(named, "12.3 milliseconds");
  EXPECT_EQ(days, "1.50 days");
  EXPECT_EQ(negative, "-2000.0 milliseconds");
}

}  // namespace
