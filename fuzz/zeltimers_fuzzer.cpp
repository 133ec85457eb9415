// One libFuzzer harness over the scripted counter. The first input byte
// picks a target: the capture readers, fed the rest as a file, the summary
// reader, fed the rest as an OTLP JSON document, or a random
// sequence of operations on time values, a timer and a meter, with
// arbitrary counter values, frequencies, doubles and history lengths.
// Undefined behaviour is the sanitizers' to find; the checks here are
// properties every correct build keeps, not a second implementation.
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FrameStats.h>
#include <ZelAnalysis/SummaryJson.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <system_error>

#include "ZelFrameRate.h"
#include "analysis/csv.h"
#include "analysis/formats.h"
#include "analysis/scan.h"
#include "counter/scripted_counter.h"

namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

// Fixed-size values from the front of the input; zeros past its end.
struct Input {
  const std::uint8_t* data;
  std::size_t size;
  template <typename T>
  T Take() {
    unsigned char bytes[sizeof(T)] = {};
    const std::size_t n = size < sizeof(T) ? size : sizeof(T);
    std::memcpy(bytes, data, n);
    data += n;
    size -= n;
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }
};

// The fast reader, in blocks and parts small enough that rows and quoted
// line ends (open quotes too) fall across them, and now and then keeping
// rows of a few bytes only, gives what the plain reader gives.
void Compare(const std::string& text, const zel_analysis::CaptureFile& plain) {
  zel_analysis::CaptureFile fast;
  const std::size_t rowBytes = text.size() % 3 == 0 ? 8 + text.size() % 40 : text.size();
  const zel_analysis::scan::Options options{16 + text.size() % 64, 1,
                                            1 + static_cast<unsigned>(text.size() % 4), rowBytes};
  const auto ns = zel_analysis::scan::ReadFrameTimes({"input", &text}, fast, options);
  Require(ns == zel_analysis::FrameTimesOf(plain.capture) && fast.error == plain.error &&
          fast.format == plain.format && fast.note == plain.note &&
          fast.capture.application == plain.capture.application);
}

// The shortcuts for short decimals and whole numbers read a field as
// std::from_chars does.
void CompareNumber(const std::string& text) {
  double fast = 0.0, plain = 0.0;
  const bool read = zel_analysis::csv::Number(text, fast);
  Require(read == zel_analysis::csv::PlainNumber(text, plain));
  std::uint64_t fastBits = 0, plainBits = 0;
  std::memcpy(&fastBits, &fast, sizeof fast);
  std::memcpy(&plainBits, &plain, sizeof plain);
  Require(!read || fastBits == plainBits);
  // PaddedNumber reads eight bytes from the start: digits after the text
  // that it must not take.
  const std::string padded = text + "55555555";
  double wide = 0.0;
  Require(zel_analysis::csv::PaddedNumber({padded.data(), text.size()}, wide) == read);
  std::memcpy(&fastBits, &wide, sizeof wide);
  Require(!read || fastBits == plainBits);
  // A short decimal's nanoseconds in either unit, and whether it and the
  // text's other half make a row in microseconds, as from its double.
  std::uint64_t quickDigits = 0;
  int decimals = 0;
  if (zel_analysis::csv::PaddedDecimal({padded.data(), text.size()}, quickDigits, decimals)) {
    for (const std::int64_t unit : {1000, 1000000}) {
      std::int64_t quick = 0, ns = 0;
      Require(zel_analysis::csv::DecimalScale(unit)(quickDigits, decimals, quick) ==
                  zel_analysis::csv::Scale(plain, unit, ns) &&
              quick == ns);
    }
    const std::string half = text.substr(text.size() / 2) + "55555555";
    const std::string_view fields[] = {
        {padded.data(), text.size()}, {half.data(), half.size() - 8}, "1"};
    zel_analysis::formats::Layout layout;
    layout.fps = 0, layout.frametime = 1, layout.elapsed = 2;
    zel_analysis::formats::MangoHudRow row;
    std::uint64_t other = 0;
    int otherDecimals = 0;
    if (zel_analysis::csv::PaddedDecimal(fields[1], other, otherDecimals) &&
        zel_analysis::formats::MangoHudRowOf(layout, fields, row).empty())
      Require(zel_analysis::formats::MangoHudMicro(quickDigits, decimals, other, otherDecimals) ==
              row.micro);
  }
  std::int64_t count = 0, whole = 0;
  std::string error;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), whole);
  const bool isWhole = ec == std::errc() && end == text.data() + text.size();
  Require(zel_analysis::csv::ReadCount(text, count, error) == isWhole &&
          (!isWhole || count == whole));
  const bool digits =
      text.size() - 1 < 16 && text.find_first_not_of("0123456789") == std::string::npos;
  Require(zel_analysis::csv::PaddedDigits({padded.data(), text.size()}) == digits);
}

// A readable file reads back the same after writing it in any format.
void ReadCapture(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  const auto file = zel_analysis::ReadCapture(in, "input");
  Compare(text, file);
  CompareNumber(text.substr(0, 24));
  Require(file.error.find('\n') == std::string::npos);
  if (!file.error.empty()) return Require(file.capture.frames.empty());
  for (const auto format :
       {zel_analysis::CaptureFormat::kZel, zel_analysis::CaptureFormat::kPresentMon}) {
    std::stringstream copy;
    zel_analysis::WriteCapture(copy, file.capture, format);
    const auto again = zel_analysis::ReadCapture(copy, "copy");
    Require(!again.error.empty() || again.capture.application == file.capture.application);
    if (format == zel_analysis::CaptureFormat::kZel)
      Require(again.capture.frames == file.capture.frames);
  }
}

void RunOperations(Input in) {
  zel_scripted::SetFrequency(in.Take<std::int64_t>(), (in.Take<std::uint8_t>() & 1) != 0);
  CZelFrameRate meter(in.Take<std::int8_t>() < 0 ? in.Take<int>() : in.Take<std::uint8_t>() % 9);
  CZelWallTimer timer;
  CZelTimeValue a(in.Take<double>()), b(in.Take<double>());
  while (in.size > 0) {
    const auto precision = static_cast<CZelTimer::EPrecisionType>(in.Take<std::uint8_t>() % 7);
    const std::function<void()> operations[] = {
        [&] { zel_scripted::SetCount(in.Take<std::int64_t>()); },
        [&] { meter.FrameDrawStartNotice(); },
        [&] { meter.FrameDrawEndNotice(); },
        [&] { meter.SwapCallNotice(); },
        [&] { timer.Start(); },
        [&] { Require(std::isfinite(timer.Elapsed(precision))); },
        [&] { timer.AdjustStartTime(in.Take<double>()); },
        [&] { Require(timer.ReportElapsed(precision).size() <= 29); },
        [&] {
          a = a + b;
          b = a - b;
        },
        [&] {
          a.Set(in.Take<double>());
          Require(std::isfinite(a.Get()));
        },
    };
    operations[in.Take<std::uint8_t>() % 10]();
    CZelFrameRate copy(meter);
    const float rate = meter.GetFrameRate();
    Require(std::isfinite(rate) && rate == copy.GetFrameRate());
    Require(meter.GetDrawHistory() == copy.GetDrawHistory());
    Require(meter.GetBufferCount() == static_cast<int>(copy.GetDrawHistory().size()));
  }
}

}  // namespace

// A summary the reader takes is one the library could have made: it reads
// back the same after writing, merges with itself and has figures.
void ReadSummary(const std::uint8_t* data, std::size_t size) {
  zel_analysis::SummaryDocument document;
  if (!zel_analysis::SummaryFromJson(std::string(reinterpret_cast<const char*>(data), size),
                                     document)
           .empty())
    return;
  Require(zel_analysis::CheckSummary(document.summary).empty());
  zel_analysis::SummaryDocument again;
  Require(zel_analysis::SummaryFromJson(zel_analysis::SummaryToJson(document), again).empty() &&
          zel_analysis::SessionKey(again.summary) == zel_analysis::SessionKey(document.summary));
  zel_analysis::FrameSummary twice = document.summary;
  if (zel_analysis::Merge(twice, document.summary))
    Require(twice.frames == 2 * document.summary.frames);
  zel_analysis::FleetStatsOf(twice);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zel_scripted::Restore();
  if (size > 0 && data[0] % 4 == 0) {
    ReadCapture(data + 1, size - 1);
  } else if (size > 0 && data[0] % 4 == 1) {
    ReadSummary(data + 1, size - 1);
  } else {
    RunOperations({data + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0});
  }
  return 0;
}
