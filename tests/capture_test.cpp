// Frame captures: the recorder on a clock the test steps, the readers on
// real files, every format read back as written, and bad input.
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelAnalysis/FrameStats.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <numeric>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#if defined(__linux__)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "analysis/csv.h"
#include "analysis/scan.h"

namespace zel_analysis {
void PrintTo(const Frame& f, std::ostream* os) {
  *os << "{" << f.timeNs << ", " << f.intervalNs << ", " << f.drawNs << "}";
}
}  // namespace zel_analysis

namespace {

using zel_analysis::CaptureFormat;
using zel_analysis::Frame;
using zel_analysis::kNoDrawTime;

// The fast reader, in small blocks of every size from 16 to 80 bytes and
// three parts, so that rows and quoted line ends fall across both at every
// offset, must give what the plain reader gives, error line included, and
// must not have left the file to it (unless `mayLeave`, or a row is longer
// than it keeps, which every third block size makes 24 bytes).
void ExpectFastAgrees(const std::string& text, const std::string& name, bool fromFile = false,
                      bool mayLeave = false) {
  std::istringstream in(text);
  zel_analysis::CaptureFile plain =
      fromFile ? zel_analysis::ReadCaptureFile(name) : zel_analysis::ReadCapture(in, name);
  const std::vector<std::int64_t> plainNs = zel_analysis::FrameTimesOf(plain.capture);
  for (std::size_t block = 16; block <= 80; ++block) {
    zel_analysis::CaptureFile fast;
    zel_analysis::scan::Path path = zel_analysis::scan::Path::kPlain;
    const std::size_t rowBytes = block % 3 == 0 ? 24 : std::size_t{1} << 20;
    const std::vector<std::int64_t> ns = zel_analysis::scan::ReadFrameTimes(
        {name, fromFile ? nullptr : &text}, fast, {block, 1, 3, rowBytes}, &path);
    ASSERT_EQ(ns, plainNs) << name << ", blocks of " << block;
    ASSERT_EQ(fast.error, plain.error) << name;
    ASSERT_TRUE(fast.format == plain.format && fast.note == plain.note &&
                fast.capture.application == plain.capture.application &&
                fast.capture.frames.empty())
        << name;
    if (!mayLeave && block % 3 != 0) ASSERT_EQ(path, zel_analysis::scan::Path::kFast) << name;
  }
}

// A clock the test steps by hand, counting its readings.
std::int64_t clockNow = 0;
int clockReads = 0;
std::int64_t ReadClock() {
  ++clockReads;
  return clockNow;
}

// One reading per notice; frames from the second swap on, timed from the
// first, each with the draw measured since the swap before it.
TEST(Recorder, RecordsEachSwapAfterTheFirst) {
  zel_analysis::FrameRecorder recorder(4, ReadClock);
  clockNow = 5000;
  recorder.SwapCallNotice();  // the capture begins
  clockNow += 100;
  recorder.FrameDrawStartNotice();
  clockNow += 2000;
  recorder.FrameDrawEndNotice();
  clockNow += 16000000;
  recorder.SwapCallNotice();
  clockNow += 7;
  recorder.SwapCallNotice();  // no draw in this frame
  EXPECT_EQ(clockReads, 5);
  const std::vector<Frame> want = {{16002100, 16002100, 2000}, {16002107, 7, 0}};
  EXPECT_EQ(recorder.Frames(), want);
}

struct FileCase {
  const char* file;
  std::size_t frames;
  const char* application;
  Frame first;
  const char* note;
};
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.file; }

class CaptureFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(CaptureFiles, ReadAsTheirToolsWroteThem) {
  const FileCase& c = GetParam();
  const auto file = zel_analysis::ReadCaptureFile(std::string(ZELTIMERS_CAPTURES) + "/" + c.file);
  ASSERT_EQ(file.error, "");
  EXPECT_EQ(file.capture.frames.size(), c.frames);
  EXPECT_EQ(file.capture.application, c.application);
  EXPECT_EQ(file.capture.frames.at(0), c.first);
  EXPECT_EQ(file.note, c.note);
  ExpectFastAgrees("", std::string(ZELTIMERS_CAPTURES) + "/" + c.file, true);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, CaptureFiles,
    ::testing::Values(
        FileCase{"presentmon1-csgo.csv", 300, "csgo.exe", {14329886000, 10564000, kNoDrawTime}, ""},
        // No line end after the last row.
        FileCase{
            "presentmon1-apex-short.csv", 11, "r5apex.exe", {26368000, 19032000, kNoDrawTime}, ""},
        // Quoted fields in the first row only, shorter rows after it.
        FileCase{
            "ocat-metroexodus.csv", 300, "MetroExodus.exe", {12027000, 9681000, kNoDrawTime}, ""},
        // Lower-case 1.x names; four swap chains of two programs, interleaved.
        FileCase{"presentmon1-gold-test_case_3.csv",
                 62,
                 "dwm.exe",
                 {391318700, 16584800, kNoDrawTime},
                 "dwm.exe, 62 of 119 rows (the busiest of 4 swap chains)"},
        // PresentMon 2: times in ticks of an unknown clock, so summed intervals.
        FileCase{"presentmon2-gold-test_case_3.csv",
                 61,
                 "dwm.exe",
                 {16584800, 16584800, 16528500},
                 "dwm.exe, 61 of 115 rows (the busiest of 4 swap chains)"},
        FileCase{"presentmon2-v2metrics-gold-test_case_3.csv",
                 61,
                 "dwm.exe",
                 {16569900, 16569900, 16528500},
                 "dwm.exe, 61 of 115 rows (the busiest of 4 swap chains)"},
        // MangoHud 0.6: frametime in microseconds.
        FileCase{"mangohud-0.6.8-glfwdemo.csv", 42, "", {45231785, 15651000, kNoDrawTime}, ""}));

// Written and read back, every frame is intact in every format, with the
// host in a decimal-comma locale.
TEST(CaptureFormats, ReadBackExactly) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  if (comma) std::locale::global(std::locale("de_DE.UTF-8"));
  const zel_analysis::Capture capture{"a \"quoted\",\r\nname\n\n",
                                      {{16666667, 16666667, 412775},
                                       {16666667, 0, kNoDrawTime},
                                       {86400123456789, 86400106790122, 1}}};
  for (const CaptureFormat format :
       {CaptureFormat::kZel, CaptureFormat::kPresentMon, CaptureFormat::kMangoHud}) {
    std::stringstream text;
    zel_analysis::WriteCapture(text, capture, format);
    const auto file = zel_analysis::ReadCapture(text, "memory");
    EXPECT_EQ(file.error, "") << zel_analysis::FormatName(format);
    EXPECT_EQ(file.format, format);
    EXPECT_EQ(file.capture.frames, capture.frames) << zel_analysis::FormatName(format);
    if (format != CaptureFormat::kMangoHud)
      EXPECT_EQ(file.capture.application, capture.application);
    ExpectFastAgrees(text.str(), "memory");
  }
  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, saved.c_str());
}

// A file that fails to read gives one line naming it, the line and the
// fault, and no frames, however many rows read well before the fault.
TEST(CaptureFormats, BadInputNamesFileLineAndFault) {
  const std::string pm = "Application,TimeInSeconds,MsBetweenPresents\napp,0.1,16.6\n";
  const std::string row = "60,16.6,100\n";
  const std::string mango = "os,cpu\n,\nfps,frametime,elapsed\n" + row;
  std::string rows;  // after a row, enough for the fast reader to read it whole
  for (int i = 0; i < 20; ++i) rows += row;
  const struct {
    std::string text, want;
    bool mayLeave = false;  // to the plain reader
  } cases[] = {
      {"", "f: empty file"},
      {"time,value\n1,2\n", "f:1: not a frame capture"},
      {"Application,TimeInSeconds\napp,0.1\n",
       "f:1: a PresentMon header without MsBetweenPresents"},
      {pm, ""},
      {pm + "app,0.2,NA\n", ""},  // PresentMon 2's missing value: the row is left out
      {"Application,TimeInSeconds,MsBetweenPresents\r\napp,0.1,16.6\r\n", ""},
      {pm + "app,0.2,fast\n", "f:3: column MsBetweenPresents: 'fast' is not a number"},
      {pm + "app,0.2\n", "f:3: the row ends after 2 of the 3 fields"},
      {pm + "app,-0.2,16.6\n", "f:3: column TimeInSeconds: '-0.2' is not a duration"},
      {"Application,MsBetweenPresents\n", "f:1: a PresentMon header but no frames"},
      {"os,cpu\n,\nfps,elapsed\n",
       "f:3: the column header lacks one of fps, frametime and elapsed"},
      {mango + "60,16.6,1e30\n", "f:5: column elapsed: '1e30' is not a whole number"},
      {mango + "60,1e30,200\n", "f:5: column frametime or draw_time: not a duration"},
      {"zeltimers_capture,application\n2,app\n", "f:2: expected the format version 1"},
      {"zeltimers_capture,application\n1,app\ntime_ns,interval_ns,draw_ns\n5,-1,\n",
       "f:4: column interval_ns: a negative time"},
      {"zeltimers_capture,application\n1,app\ntime_ns,interval_ns,draw_ns\n5,5,\n\n", ""},
      {pm + "app,0.2,16,6\n", "f:3: 4 fields where the header names 3 (a decimal comma?"},
      {"Application,MsBetweenPresents,msbetweenpresents\n",
       "f:1: the header names MsBetweenPresents more than once"},
      {"Application,ProcessID,MsBetweenPresents\n\"a\n\",1,5\n\"b\n\",2,1e11\n", ""},
      {"Application,ProcessID,MsBetweenPresents\n\"a\n\",1,5\n\"b\n\",2,1e11\n\"b\n\",2,1\n",
       "f:6: column MsBetweenPresents: the intervals add up to more than about 3 years", true},
      // A quote that never closes, named where it opens: in the header, in
      // a row, and after a quoted line end that closed.
      {"\"Application,MsBetweenPresents\napp,1\n", "f:1: a quote opens here and never closes"},
      {pm + "\"app,0.2,16.6\napp,0.3,16.6\n", "f:3: a quote opens here and never closes"},
      {pm + "\"a\nb\",0.2,\"x\n5\n", "f:4: a quote opens here and never closes"},
      {"os\n\"\n", "f:2: a quote opens here and never closes"},
      {"zeltimers_capture,application\n1,\"app\n", "f:2: a quote opens here and never closes"},
      // No frames: named at the last row, blank or not.
      {"Application,MsBetweenPresents\nx,NA\n\n", "f:3: a PresentMon header but no frames"},
      {"os\n\nfps,frametime,elapsed\n", "f:3: a MangoHud log without frames"},
      // Rows read whole at once.
      {mango + "60,16.6,200,9\n" + rows, "f:5: 4 fields where the header names 3"},
      {mango + "60,16.6,-200\n" + rows, "f:5: column elapsed: a negative time"},
      {"Application,MsBetweenPresents,a,b,c,d,e,f\nx,1,aaaa,,,,,,,,\n",
       "f:2: 11 fields where the header names 8"},
      // A draw time too long in milliseconds but not in microseconds.
      {"os\n\nfps,frametime,elapsed,draw_time\n50,20000,1,2e11\n", ""},
      {"os\n\nfps,frametime,elapsed,draw_time\n50,20,1,2e11\n",
       "f:4: column frametime or draw_time: not a duration"},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    const auto file = zel_analysis::ReadCapture(in, "f");
    EXPECT_EQ(c.want.empty() ? file.error : file.error.substr(0, c.want.size()), c.want) << c.text;
    EXPECT_EQ(file.error.find('\n'), std::string::npos);
    if (!c.want.empty()) EXPECT_TRUE(file.capture.frames.empty()) << c.text;
    ExpectFastAgrees(c.text, "f", false, c.mayLeave);
  }
  const auto folder = zel_analysis::ReadCaptureFile(ZELTIMERS_CAPTURES);
  EXPECT_EQ(folder.error, std::string(ZELTIMERS_CAPTURES) + ": a folder, not a frame capture");
}

#if defined(__linux__)
// A read error is the machine's fault: thrown, never taken for the end of
// the file. Reading /proc/self/mem at its start fails on Linux.
TEST(CaptureFormats, ReadErrorIsThrown) {
  const int fd = ::open("/proc/self/mem", O_RDONLY);
  char byte = 0;
  const bool fails = fd >= 0 && ::read(fd, &byte, 1) < 0;
  if (fd >= 0) ::close(fd);
  if (!fails) GTEST_SKIP() << "no file here whose reading fails";
  zel_analysis::CaptureFile file;
  EXPECT_THROW(zel_analysis::ReadCaptureFile("/proc/self/mem"), std::ios::failure);
  EXPECT_THROW(zel_analysis::ReadFrameTimesFile("/proc/self/mem", file), std::ios::failure);
}
#endif

// Without times, each stream's times are the running sum of its own
// intervals; streams are told apart by swap chain too, not only by process.
TEST(CaptureFormats, PresentMonStreamsBySwapChain) {
  std::istringstream in(
      "Application,ProcessID,SwapChainAddress,MsBetweenPresents\n"
      "a,1,0x1,10\na,1,0x2,1\na,1,0x1,20\na,1,0x2,2\na,1,0x1,30\n");
  const auto file = zel_analysis::ReadCapture(in, "f");
  const std::vector<Frame> want = {{10000000, 10000000, kNoDrawTime},
                                   {30000000, 20000000, kNoDrawTime},
                                   {60000000, 30000000, kNoDrawTime}};
  EXPECT_EQ(file.capture.frames, want);
  EXPECT_EQ(file.note, "a, 3 of 5 rows (the busiest of 2 swap chains)");
  ExpectFastAgrees(in.str(), "f");
  // The busiest need not be the first.
  ExpectFastAgrees(
      "Application,ProcessID,SwapChainAddress,MsBetweenPresents\n"
      "a,1,0x1,10\na,1,0x2,1\na,1,0x2,2\na,1,0x1,20\na,1,0x2,3\n",
      "f");
}

// The unit is the one most rows agree with, wherever the odd row is; a
// row's fps x frametime a few millionths above and below the threshold.
TEST(CaptureFormats, MangoHudUnitByMostRows) {
  const std::string header = "os\n\nfps,frametime,elapsed\n";
  const std::string ms = "50,20,1\n", us = "50,20000,1\n";
  const struct {
    std::string rows;
    std::int64_t firstNs;
  } cases[] = {{us + ms + ms, 20000000000},
               {ms + ms + us, 20000000},
               {us + us + ms, 20000000},
               {"11677.41,2.70803,1\n", 2708},
               {"30232.10,1.046,1\n", 1046000}};
  for (const auto& c : cases) {
    std::istringstream in(header + c.rows);
    const auto file = zel_analysis::ReadCapture(in, "f");
    ASSERT_FALSE(file.capture.frames.empty()) << file.error;
    EXPECT_EQ(file.capture.frames[0].intervalNs, c.firstNs) << c.rows;
    ExpectFastAgrees(header + c.rows, "f");
  }
}

// Summarize over frame times such as a long capture holds, against plainly
// sorted copies: the ranks of the frame times and of their differences,
// selected by counting, and by sorting when a far outlier bunches the rest.
// Clustered: many different values share each ranked bucket, in the
// middle and in the slowest 1 %. Zigzag: its differences are 0 to n - 2,
// the first of them their p99.
TEST(CaptureFormats, SummarizeRanksAsSortedCopies) {
  const std::size_t n = 20000;
  const auto rank = [](std::size_t count, std::size_t perMille) {
    return (count * perMille + 999) / 1000 - 1;
  };
  std::vector<std::int64_t> noisy, growing, clustered;  // growing: differences 1, 3, 5, ...
  std::vector<std::int64_t> zigzag = {50000000,
                                      50000000 + static_cast<std::int64_t>(rank(n - 1, 990))};
  for (auto d = static_cast<std::int64_t>(n) - 2; d >= 0; --d) {
    if (d != zigzag[1] - zigzag[0]) zigzag.push_back(zigzag.back() + (zigzag.size() % 2 ? -d : d));
  }
  std::uint64_t state = 12345;
  for (std::size_t i = 0; i < n; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const auto random = static_cast<std::int64_t>(state >> 44);
    noisy.push_back(8000000 + random * (i % 97 == 0 ? 40 : 1));
    growing.push_back(8000000 + static_cast<std::int64_t>(i * i));
    clustered.push_back((i % 50 == 0 ? 30000000 : 8000000) + random % 100000);
  }
  clustered[n - 1] = 100000000;
  std::vector<std::int64_t> outlier = growing;
  outlier[n / 2] = 100000000000000;
  const auto ms = [](std::int64_t v) { return static_cast<double>(v) / 1e6; };
  for (const std::vector<std::int64_t>& ns : {noisy, growing, outlier, clustered, zigzag}) {
    std::vector<std::int64_t> sorted = ns, jitter;
    for (std::size_t i = 1; i < n; ++i) jitter.push_back(std::abs(ns[i] - ns[i - 1]));
    std::sort(sorted.begin(), sorted.end());
    std::sort(jitter.begin(), jitter.end());
    const auto stats = zel_analysis::Summarize(ns);
    EXPECT_EQ(stats.p50Ms.value, ms(sorted[rank(n, 500)]));
    EXPECT_EQ(stats.p90Ms.value, ms(sorted[rank(n, 900)]));
    EXPECT_EQ(stats.p95Ms.value, ms(sorted[rank(n, 950)]));
    EXPECT_EQ(stats.p99Ms.value, ms(sorted[rank(n, 990)]));
    EXPECT_EQ(stats.p999Ms.value, ms(sorted[rank(n, 999)]));
    EXPECT_EQ(stats.jitterP99Ms.value, ms(jitter[rank(n - 1, 990)]));
    const std::int64_t slowest = std::accumulate(sorted.end() - 200, sorted.end(), std::int64_t{0});
    EXPECT_EQ(stats.low1.lowAverage.value, 200e9 / static_cast<double>(slowest));
  }
}

// The shortcut for short decimals against std::from_chars, to the bit.
TEST(CaptureFormats, NumberShortcutMatchesFromChars) {
  for (const char* text : {"16.6667",
                           "0.1",
                           "-0",
                           "-2.5",
                           "1.",
                           ".5",
                           "+1",
                           "",
                           "-",
                           "1e3",
                           "0.000000000000001",
                           "123456789012345",
                           "1234567890123456",
                           "9007199254740993",
                           "00000000000000.1",
                           "1..2",
                           "7.9650",
                           "91399620.84340797",
                           "99999999999999.9",
                           "inf",
                           "nan",
                           "1,5",
                           "12345678",
                           "1234567:",
                           "/2345678",
                           "94000000000000",
                           "9400000000000\xFA",
                           "940000000000000-",
                           "125.5492",
                           "7.965",
                           "1.5",
                           "7",
                           "0.0",
                           "1234567.",
                           ".1234567",
                           "12.34.5",
                           "12a4.567",
                           "1.2345678",
                           "123456789",
                           "1234x6789",
                           "12\x01",
                           "12x456789012",
                           "12345678901234567"}) {
    const auto bits = [](double value) {
      std::uint64_t word = 0;
      std::memcpy(&word, &value, sizeof value);
      return word;
    };
    double plain = 0.0;
    const bool readPlain = zel_analysis::csv::PlainNumber(text, plain);
    // Number, and PaddedNumber with digits after the text that it must not take.
    const std::string padded = std::string(text) + "55555555";
    for (const bool pad : {false, true}) {
      double fast = 0.0;
      const std::string_view view(padded.data(), padded.size() - 8);
      EXPECT_EQ(
          pad ? zel_analysis::csv::PaddedNumber(view, fast) : zel_analysis::csv::Number(view, fast),
          readPlain)
          << text;
      if (readPlain) EXPECT_EQ(bits(fast), bits(plain)) << text;
    }
    // Whole numbers likewise, eight digits at a time from 8 to 16.
    std::int64_t count = 0, fromChars = 0;
    std::string error;
    const std::string_view view(text);
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), fromChars);
    const bool whole = ec == std::errc() && end == view.data() + view.size();
    EXPECT_EQ(zel_analysis::csv::ReadCount(view, count, error), whole) << text;
    if (whole) EXPECT_EQ(count, fromChars) << text;
    // The check alone, on up to 16 digits: never a text ReadCount refuses
    // or reads as negative.
    const bool digits =
        view.size() - 1 < 16 && view.find_first_not_of("0123456789") == std::string_view::npos;
    EXPECT_EQ(zel_analysis::csv::PaddedDigits({padded.data(), view.size()}), digits) << text;
  }
}

}  // namespace
