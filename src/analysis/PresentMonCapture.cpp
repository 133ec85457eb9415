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
#include <unordered_map>

#include "formats.h"

namespace zel_analysis::formats {

namespace {

constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerSecond = 1000000000;

// The frames of one program's swap chain, in file order.
struct Stream {
  std::string application;
  std::vector<Frame> frames;
};

}  // namespace

std::string PresentMonHeader(csv::Lines& lines, const std::vector<std::string>& header,
                             Layout& layout) {
  if (const char* name = csv::Repeated(
          header, {"Application", "ProcessID", "SwapChainAddress", "MsBetweenPresents", "FrameTime",
                   "TimeInSeconds", "CPUStartTime", "MsCPUBusy", "CPUBusy"}))
    return lines.Error(std::string("the header names ") + name + " more than once");
  layout.header = header;
  layout.interval = csv::Find(header, {"MsBetweenPresents", "FrameTime"});
  if (layout.interval < 0)
    return lines.Error("a PresentMon header without MsBetweenPresents (or FrameTime)");
  layout.time = csv::Find(header, {"TimeInSeconds", "CPUStartTime"});
  layout.draw = csv::Find(header, {"MsCPUBusy", "CPUBusy"});
  layout.key[1] = csv::Find(header, {"ProcessID"});
  layout.key[2] = csv::Find(header, {"SwapChainAddress"});
  layout.needed = static_cast<std::size_t>(std::max(
                      {layout.interval, layout.time, layout.draw, layout.key[1], layout.key[2]})) +
                  1;
  layout.most = header.size();
  return {};
}

std::string PresentMonRow(const Layout& layout, const std::string_view* fields, Frame& frame,
                          bool& kept, bool padded) {
  // PresentMon 2 writes NA where a frame has no value: such a frame has no
  // interval to read and is left out.
  kept = fields[layout.interval] != "NA";
  if (!kept) return {};
  frame = {-1, 0, kNoDrawTime};
  std::string error;
  const auto column = [&](int index) { return "column " + layout.header[index] + ": " + error; };
  if (!csv::ReadDuration(fields[layout.interval], kNsPerMs, frame.intervalNs, error, padded))
    return column(layout.interval);
  if (layout.time >= 0 &&
      !csv::ReadDuration(fields[layout.time], kNsPerSecond, frame.timeNs, error, padded))
    return column(layout.time);
  if (layout.draw >= 0 && fields[layout.draw] != "NA" &&
      !csv::ReadDuration(fields[layout.draw], kNsPerMs, frame.drawNs, error, padded))
    return column(layout.draw);
  return {};
}

std::string SummedTimeError(const Layout& layout) {
  return "column " + layout.header[layout.interval] +
         ": the intervals add up to more than about 3 years";
}

std::string StreamKey(const Layout& layout, const std::string_view* fields) {
  std::string key;
  for (const int column : layout.key) {
    const std::string_view field = column < 0 ? std::string_view() : fields[column];
    key += std::to_string(field.size()) + ':';
    key += field;
  }
  return key;
}

std::string ReadPresentMon(csv::Lines& lines, const Layout& layout, CaptureFile& file) {
  std::string error;

  std::vector<Stream> streams;
  std::unordered_map<std::string, std::size_t> byKey;
  std::size_t rows = 0;
  std::vector<std::string> fields;
  while (csv::NextRow(lines, layout.needed, layout.most, fields, error)) {
    if (!error.empty()) return error;
    const std::vector<std::string_view> views = Views(fields);
    Frame frame{};
    bool kept = false;
    error = PresentMonRow(layout, views.data(), frame, kept);
    if (!error.empty()) return lines.Error(error);
    if (!kept) continue;
    const auto [at, added] = byKey.emplace(StreamKey(layout, views.data()), streams.size());
    if (added) streams.push_back({fields[0], {}});
    Stream& stream = streams[at->second];
    if (frame.timeNs < 0) {
      // Only tick counts of an unknown clock: the time is the sum of the intervals.
      const std::int64_t before = stream.frames.empty() ? 0 : stream.frames.back().timeNs;
      if (frame.intervalNs > csv::kMaxDurationNs - before)
        return lines.Error(SummedTimeError(layout));
      frame.timeNs = before + frame.intervalNs;
    }
    stream.frames.push_back(frame);
    ++rows;
  }
  if (streams.empty()) return lines.Error(kNoPresentMonFrames);

  Stream& busiest = *std::max_element(
      streams.begin(), streams.end(),
      [](const Stream& a, const Stream& b) { return a.frames.size() < b.frames.size(); });
  if (streams.size() > 1)
    file.note = BusiestNote(busiest.application, busiest.frames.size(), rows, streams.size());
  file.capture.application = busiest.application;
  file.capture.frames = std::move(busiest.frames);
  return {};
}

std::string BusiestNote(const std::string& application, std::size_t frames, std::size_t rows,
                        std::size_t streams) {
  return application + ", " + std::to_string(frames) + " of " + std::to_string(rows) +
         " rows (the busiest of " + std::to_string(streams) + " swap chains)";
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
