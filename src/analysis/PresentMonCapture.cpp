// PresentMon's CSV: one row per present, columns found by name (ignoring
// case), so that the 1.x layouts (msBetweenPresents, MsBetweenPresents) and
// the 2.x ones (MsBetweenPresents or FrameTime, MsCPUBusy or CPUBusy) all
// read. A file may hold several programs and swap chains; the busiest one is
// read.
//
// The writer emits PresentMon 1.x's default columns, which CapFrameX and
// most analysers load, with the draw time as a trailing MsCPUBusy.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ostream>

#include "formats.h"

namespace zel_analysis::formats {

namespace {

constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerSecond = 1000000000;

// The frames of one program's swap chain, in file order.
struct Stream {
  std::string key;
  std::string application;
  std::vector<Frame> frames;
};

}  // namespace

std::string ReadPresentMon(csv::Lines& lines, const std::vector<std::string>& header,
                           CaptureFile& file) {
  const int interval = csv::Find(header, {"MsBetweenPresents", "FrameTime"});
  if (interval < 0)
    return lines.Error("a PresentMon header without MsBetweenPresents (or FrameTime)");
  const int time = csv::Find(header, {"TimeInSeconds", "CPUStartTime"});
  const int draw = csv::Find(header, {"MsCPUBusy", "CPUBusy"});
  const int key[] = {0, csv::Find(header, {"ProcessID"}), csv::Find(header, {"SwapChainAddress"})};
  const int needed = std::max({interval, time, draw, key[1], key[2]}) + 1;

  std::vector<Stream> streams;
  std::size_t rows = 0;
  std::vector<std::string> fields;
  std::string error;
  while (csv::NextRow(lines, needed, fields, error)) {
    if (!error.empty()) return error;
    // PresentMon 2 writes NA where a frame has no value: such a frame has no
    // interval to read and is left out.
    if (fields[interval] == "NA") continue;
    std::string streamKey;
    for (const int column : key) streamKey += (column < 0 ? "" : fields[column]) + '\n';
    auto stream = std::find_if(streams.begin(), streams.end(),
                               [&](const Stream& s) { return s.key == streamKey; });
    if (stream == streams.end()) stream = streams.insert(streams.end(), {streamKey, fields[0], {}});

    Frame frame{0, 0, kNoDrawTime};
    if (!csv::ReadDuration(fields[interval], kNsPerMs, frame.intervalNs, error))
      return lines.Error("column " + header[interval] + ": " + error);
    if (time >= 0) {
      if (!csv::ReadDuration(fields[time], kNsPerSecond, frame.timeNs, error))
        return lines.Error("column " + header[time] + ": " + error);
    } else {
      // Only tick counts of an unknown clock: the time is the sum of the intervals.
      frame.timeNs = (stream->frames.empty() ? 0 : stream->frames.back().timeNs) + frame.intervalNs;
    }
    if (draw >= 0 && fields[draw] != "NA" &&
        !csv::ReadDuration(fields[draw], kNsPerMs, frame.drawNs, error))
      return lines.Error("column " + header[draw] + ": " + error);
    stream->frames.push_back(frame);
    ++rows;
  }
  if (streams.empty()) return lines.Error("a PresentMon header but no frames");

  Stream& busiest = *std::max_element(
      streams.begin(), streams.end(),
      [](const Stream& a, const Stream& b) { return a.frames.size() < b.frames.size(); });
  if (streams.size() > 1) {
    file.note = busiest.application + ", " + std::to_string(busiest.frames.size()) + " of " +
                std::to_string(rows) + " rows (the busiest of " + std::to_string(streams.size()) +
                " swap chains)";
  }
  file.capture.application = busiest.application;
  file.capture.frames = std::move(busiest.frames);
  return {};
}

void WritePresentMon(std::ostream& out, const Capture& capture) {
  out << "Application,ProcessID,SwapChainAddress,Runtime,SyncInterval,PresentFlags,Dropped,"
         "TimeInSeconds,msInPresentAPI,msBetweenPresents,AllowsTearing,PresentMode,"
         "msUntilRenderComplete,msUntilDisplayed,msBetweenDisplayChange,MsCPUBusy\n";
  // Measured: TimeInSeconds, msBetweenPresents and MsCPUBusy. The present
  // interval also stands in for msBetweenDisplayChange, which only the
  // display could measure; the rest are neutral.
  const std::string prefix = csv::Field(capture.application) + ",0,0x0000000000000000,Other,0,0,0,";
  for (const Frame& frame : capture.frames) {
    const std::string interval = csv::Fixed(frame.intervalNs, kNsPerMs);
    out << prefix << csv::Fixed(frame.timeNs, kNsPerSecond) << ",0.000000," << interval
        << ",0,Unknown,0.000000,0.000000," << interval << ','
        << (frame.drawNs == kNoDrawTime ? std::string("NA") : csv::Fixed(frame.drawNs, kNsPerMs))
        << '\n';
  }
}

}  // namespace zel_analysis::formats
