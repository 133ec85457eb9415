// The library's own capture format: every value in whole nanoseconds, so a
// capture reads back exactly as it was recorded.
//
//   zeltimers_capture,application
//   1,zel-framedemo
//   time_ns,interval_ns,draw_ns
//   16687213,16687213,412775
//
// The second line holds the format's version and the program's name; an
// empty draw_ns is a frame without a draw time.
#include <cstdint>
#include <ostream>

#include "formats.h"

namespace zel_analysis::formats {

namespace {

constexpr const char* kVersion = "1";

}  // namespace

std::string ZelHeader(csv::Lines& lines, const std::vector<std::string>& first, CaptureFile& file,
                      Layout& layout) {
  std::string line;
  if (first.size() != 2 || csv::Find(first, {"application"}) != 1)
    return lines.Error("expected 'zeltimers_capture,application'");
  if (!lines.Next(line)) return lines.Ended(lines.Error("the file ends after its first line"));
  const std::vector<std::string> about = csv::Split(line);
  if (about.size() != 2 || about[0] != kVersion)
    return lines.Error("expected the format version 1 and the application's name");
  file.capture.application = about[1];
  if (!lines.Next(line) || line != "time_ns,interval_ns,draw_ns")
    return lines.Ended(lines.Error("expected the column header 'time_ns,interval_ns,draw_ns'"));
  layout.header = csv::Split(line);
  layout.needed = layout.most = 3;
  return {};
}

std::string ZelRow(const std::string_view* fields, Frame& frame) {
  frame = {0, 0, kNoDrawTime};
  std::int64_t* values[] = {&frame.timeNs, &frame.intervalNs, &frame.drawNs};
  const char* names[] = {"time_ns", "interval_ns", "draw_ns"};
  for (int i = 0; i < 3; ++i) {
    std::string error;
    if (i == 2 && fields[2].empty()) break;
    if (!csv::ReadCount(fields[i], *values[i], error) || *values[i] < 0)
      return std::string("column ") + names[i] + ": " + (error.empty() ? "a negative time" : error);
  }
  return {};
}

std::string ReadZel(csv::Lines& lines, const Layout& layout, CaptureFile& file) {
  std::string error;
  std::vector<std::string> fields;
  while (csv::NextRow(lines, layout.needed, layout.most, fields, error)) {
    if (!error.empty()) return error;
    Frame frame{};
    error = ZelRow(Views(fields).data(), frame);
    if (!error.empty()) return lines.Error(error);
    file.capture.frames.push_back(frame);
  }
  return {};
}

void WriteZel(std::ostream& out, const Capture& capture) {
  out << "zeltimers_capture,application\n"
      << kVersion << ',' << csv::Field(capture.application) << '\n'
      << "time_ns,interval_ns,draw_ns\n";
  for (const Frame& frame : capture.frames) {
    out << std::to_string(frame.timeNs) << ',' << std::to_string(frame.intervalNs) << ','
        << (frame.drawNs == kNoDrawTime ? std::string() : std::to_string(frame.drawNs)) << '\n';
  }
}

}  // namespace zel_analysis::formats
