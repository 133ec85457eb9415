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

struct Row {
  double frametime;
  double draw;  // negative: none
  std::int64_t elapsed;
  int line;
};

}  // namespace

std::string ReadMangoHud(csv::Lines& lines, const std::vector<std::string>& /*first*/,
                         CaptureFile& file) {
  std::string line;  // the system's values, then the column header
  if (!lines.Next(line) || !lines.Next(line))
    return lines.Error("a MangoHud log ends before its column header (line 3)");
  const std::vector<std::string> header = csv::Split(line);
  const int fps = csv::Find(header, {"fps"});
  const int frametime = csv::Find(header, {"frametime"});
  const int elapsed = csv::Find(header, {"elapsed"});
  const int draw = csv::Find(header, {"draw_time"});
  if (fps < 0 || frametime < 0 || elapsed < 0)
    return lines.Error("the column header lacks one of fps, frametime and elapsed");
  const int needed = std::max({fps, frametime, elapsed, draw}) + 1;

  std::vector<Row> rows;
  std::size_t micro = 0;
  std::vector<std::string> fields;
  std::string error;
  while (csv::NextRow(lines, needed, fields, error)) {
    if (!error.empty()) return error;
    Row row{0.0, -1.0, 0, lines.Number()};
    double rate = 0.0;
    if (!csv::ReadNumber(fields[fps], rate, error)) return lines.Error("column fps: " + error);
    if (!csv::ReadNumber(fields[frametime], row.frametime, error))
      return lines.Error("column frametime: " + error);
    if (!csv::ReadCount(fields[elapsed], row.elapsed, error) || row.elapsed < 0)
      return lines.Error("column elapsed: " + (error.empty() ? "a negative time" : error));
    if (draw >= 0 && !fields[draw].empty() && !csv::ReadNumber(fields[draw], row.draw, error))
      return lines.Error("column draw_time: " + error);
    if (rate * row.frametime > kMicrosecondProduct) ++micro;
    rows.push_back(row);
  }
  if (rows.empty()) return lines.Error("a MangoHud log without frames");

  const std::int64_t unit = micro * 2 > rows.size() ? kNsPerUs : kNsPerMs;
  for (const Row& row : rows) {
    Frame frame{row.elapsed, 0, kNoDrawTime};
    if (!csv::ToDuration(row.frametime, unit, frame.intervalNs, error) ||
        (row.draw >= 0.0 && !csv::ToDuration(row.draw, unit, frame.drawNs, error)))
      return lines.ErrorAt(row.line, "column frametime or draw_time: " + error);
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
