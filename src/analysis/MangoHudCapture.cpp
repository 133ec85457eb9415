// MangoHud's log: a line naming the system's fields (os,cpu,gpu,...), a
// line of their values, the column header, then one row per frame with at
// least fps, frametime and elapsed (integer nanoseconds since the log
// began).
//
// MangoHud 0.6 writes frametime in microseconds, later versions in
// milliseconds, and neither says which. fps is the frame's own rate,
// 1000 / frametime in milliseconds, so fps x frametime is about 10^3 for
// milliseconds and 10^6 for microseconds: the reader takes the unit that
// most rows agree with.
//
// The writer uses milliseconds and the layout of MangoHud's own logs, with
// the sensors it cannot read left at 0, and adds the draw time in
// milliseconds as a trailing draw_time column.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ostream>

#include "formats.h"

namespace zel_analysis::formats {

namespace {

constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerUs = 1000;
// Geometric middle of 10^3 and 10^6: above it fps x frametime is microseconds.
constexpr double kMicrosecondProduct = 31622.776601683792;

// kMicrosecondProduct x 10^n, a billionth above and below, for n to 12
// (the decimals of two PaddedDecimal values at most).
struct MicroBounds {
  double below[13], above[13];
};
constexpr MicroBounds Bounds() {
  MicroBounds bounds{};
  double power = 1.0;
  for (int n = 0; n < 13; ++n) {
    bounds.below[n] = kMicrosecondProduct * power * (1.0 - 1e-9);
    bounds.above[n] = kMicrosecondProduct * power * (1.0 + 1e-9);
    power *= 10.0;
  }
  return bounds;
}
constexpr MicroBounds kMicroBounds = Bounds();

bool Micro(std::uint64_t fps, int fpsDecimals, std::uint64_t frametime, int frametimeDecimals) {
  // The product of the doubles lies within 4 units in the 53rd bit of the
  // exact one, which the digits' product (below 10^16, exact in 64 bits,
  // within one such unit as a double) gives over 10^n.
  const int n = fpsDecimals + frametimeDecimals;
  const auto product = static_cast<double>(static_cast<std::int64_t>(fps * frametime));
  if (product > kMicroBounds.above[n]) return true;
  if (product < kMicroBounds.below[n]) return false;
  return csv::Decimal(fps, fpsDecimals) * csv::Decimal(frametime, frametimeDecimals) >
         kMicrosecondProduct;
}

struct Row {
  double frametime;
  double draw;  // negative: none
  std::int64_t line;
};

}  // namespace

std::string MangoHudHeader(csv::Lines& lines, Layout& layout) {
  std::string line;  // the system's values, then the column header
  if (!lines.Next(line) || !lines.Next(line))
    return lines.Ended(lines.Error("a MangoHud log ends before its column header (line 3)"));
  layout.header = csv::Split(line);
  if (const char* name = csv::Repeated(layout.header, {"fps", "frametime", "elapsed", "draw_time"}))
    return lines.Error(std::string("the header names ") + name + " more than once");
  layout.fps = csv::Find(layout.header, {"fps"});
  layout.frametime = csv::Find(layout.header, {"frametime"});
  layout.elapsed = csv::Find(layout.header, {"elapsed"});
  layout.draw = csv::Find(layout.header, {"draw_time"});
  if (layout.fps < 0 || layout.frametime < 0 || layout.elapsed < 0)
    return lines.Error("the column header lacks one of fps, frametime and elapsed");
  layout.needed = static_cast<std::size_t>(
                      std::max({layout.fps, layout.frametime, layout.elapsed, layout.draw})) +
                  1;
  layout.most = layout.header.size();
  return {};
}

std::string MangoHudRowOf(const Layout& layout, const std::string_view* fields, MangoHudRow& row,
                          bool padded, bool times) {
  // One string for every outcome, returned without a copy (empty for a
  // good row, which is most of them).
  std::string error;
  double rate = 0.0;
  row.draw = -1.0;
  if (!csv::ReadNumber(fields[layout.fps], rate, error, padded)) {
    error.insert(0, "column fps: ");
  } else if (!csv::ReadNumber(fields[layout.frametime], row.frametime, error, padded)) {
    error.insert(0, "column frametime: ");
  } else if ((times || !padded || !csv::PaddedDigits(fields[layout.elapsed])) &&
             (!csv::ReadCount(fields[layout.elapsed], row.elapsed, error) || row.elapsed < 0)) {
    error.insert(0, error.empty() ? "column elapsed: a negative time" : "column elapsed: ");
  } else if (layout.draw >= 0 && !fields[layout.draw].empty() &&
             !csv::ReadNumber(fields[layout.draw], row.draw, error, padded)) {
    error.insert(0, "column draw_time: ");
  } else {
    row.micro = rate * row.frametime > kMicrosecondProduct;
  }
  return error;
}

bool MangoHudMicro(std::uint64_t fps, int fpsDecimals, std::uint64_t frametime,
                   int frametimeDecimals) {
  return Micro(fps, fpsDecimals, frametime, frametimeDecimals);
}

bool MangoHudQuickFields(std::string_view fps, std::string_view frametime, std::string_view elapsed,
                         MangoHudDecimals& row) {
  std::uint64_t rate = 0;
  int rateDecimals = 0;
  if (!csv::PaddedDecimal(fps, rate, rateDecimals) ||
      !csv::PaddedDecimal(frametime, row.frametime, row.frametimeDecimals) ||
      !csv::PaddedDigits(elapsed))
    return false;
  row.drawDecimals = -1;
  row.micro = Micro(rate, rateDecimals, row.frametime, row.frametimeDecimals);
  return true;
}

bool MangoHudQuickRow(const Layout& layout, const std::string_view* fields, MangoHudDecimals& row) {
  return MangoHudQuickFields(fields[layout.fps], fields[layout.frametime], fields[layout.elapsed],
                             row) &&
         (layout.draw < 0 || fields[layout.draw].empty() ||
          csv::PaddedDecimal(fields[layout.draw], row.draw, row.drawDecimals));
}

std::int64_t MangoHudUnit(std::size_t micro, std::size_t rows) {
  return micro * 2 > rows ? kNsPerUs : kNsPerMs;
}

std::string ReadMangoHud(csv::Lines& lines, const Layout& layout, CaptureFile& file) {
  std::string error;

  std::vector<Row> rows;
  std::vector<std::int64_t> elapsed;
  std::size_t micro = 0;
  std::vector<std::string> fields;
  while (csv::NextRow(lines, layout.needed, layout.most, fields, error)) {
    if (!error.empty()) return error;
    MangoHudRow row;
    error = MangoHudRowOf(layout, Views(fields).data(), row);
    if (!error.empty()) return lines.Error(error);
    micro += row.micro ? 1 : 0;
    rows.push_back({row.frametime, row.draw, lines.Number()});
    elapsed.push_back(row.elapsed);
  }
  if (rows.empty()) return lines.Error(kNoMangoHudFrames);

  const std::int64_t unit = MangoHudUnit(micro, rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    Frame frame{elapsed[i], 0, kNoDrawTime};
    if (!csv::ToDuration(row.frametime, unit, frame.intervalNs, error) ||
        (row.draw >= 0.0 && !csv::ToDuration(row.draw, unit, frame.drawNs, error)))
      return lines.ErrorAt(row.line, kMangoHudUnitFault + error);
    file.capture.frames.push_back(frame);
  }
  return {};
}

void WriteMangoHud(std::ostream& out, const Capture& capture) {
  out << "os,cpu,gpu,ram,kernel,driver,cpuscheduler\n"
         ",,,,,,\n"
         "fps,frametime,cpu_load,gpu_load,cpu_temp,gpu_temp,gpu_core_clock,gpu_mem_clock,"
         "gpu_vram_used,gpu_power,ram_used,elapsed,draw_time\n";
  for (const Frame& frame : capture.frames) {
    const double fps = frame.intervalNs > 0 ? 1e9 / static_cast<double>(frame.intervalNs) : 0.0;
    out << csv::Fixed(fps, 4) << ',' << csv::Fixed(frame.intervalNs, kNsPerMs)
        << ",0,0,0,0,0,0,0,0,0," << std::to_string(frame.timeNs) << ','
        << (frame.drawNs == kNoDrawTime ? std::string() : csv::Fixed(frame.drawNs, kNsPerMs))
        << '\n';
  }
}

}  // namespace zel_analysis::formats
