// One reader and one writer per capture format. Header reads the first
// line, which tells the formats apart, and the format's header; a reader
// then reads the rows, and returns an error line, or an empty string with
// the capture filled in.
//
// Each reader's rules for a header and for one row are functions of their
// own, so that the fast reader (scan.h), which splits rows its own way,
// applies the very same rules.
#ifndef ZELANALYSIS_SRC_FORMATS_H
#define ZELANALYSIS_SRC_FORMATS_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "ZelAnalysis/Capture.h"
#include "csv.h"

namespace zel_analysis::formats {

// Where a row's fields are, and how many it must and may have.
struct Layout {
  std::vector<std::string> header;
  int interval = -1, time = -1, draw = -1;     // PresentMon
  int key[3] = {0, -1, -1};                    // PresentMon: program, process, swap chain
  int fps = -1, frametime = -1, elapsed = -1;  // MangoHud (and draw)
  std::size_t needed = 0, most = 0;
};

// The lines up to and including the column header, read from `lines`
// after the first, into `layout`; an error line, or empty.
std::string ZelHeader(csv::Lines& lines, const std::vector<std::string>& first, CaptureFile& file,
                      Layout& layout);
std::string PresentMonHeader(csv::Lines& lines, const std::vector<std::string>& header,
                             Layout& layout);
std::string MangoHudHeader(csv::Lines& lines, Layout& layout);

// One row's fields (at least layout.needed of them) to a frame, or why not
// (without the file and line). A PresentMon row without an interval (NA)
// gives false and no error; a PresentMon file without times gives timeNs
// -1, for the caller to sum the intervals. `padded`: each field's eight
// bytes from its start may be read (csv::PaddedNumber).
std::string ZelRow(const std::string_view* fields, Frame& frame);
std::string PresentMonRow(const Layout& layout, const std::string_view* fields, Frame& frame,
                          bool& kept, bool padded = false);
// A MangoHud row in its own units, which only the whole file decides.
struct MangoHudRow {
  double frametime = 0.0;
  double draw = -1.0;  // negative: none
  std::int64_t elapsed = 0;
  bool micro = false;  // fps x frametime says microseconds
};
// PresentMon's stream of a row: its program, process and swap chain.
std::string StreamKey(const Layout& layout, const std::string_view* fields);
// What is wrong with a file of rows but no frames.
constexpr const char* kNoPresentMonFrames = "a PresentMon header but no frames";
constexpr const char* kNoMangoHudFrames = "a MangoHud log without frames";
// Said before the fault of a MangoHud value too long in the log's unit.
constexpr const char* kMangoHudUnitFault = "column frametime or draw_time: ";
// The error of a file whose summed intervals grow too long for a time.
std::string SummedTimeError(const Layout& layout);
// The note on a file of several streams.
std::string BusiestNote(const std::string& application, std::size_t frames, std::size_t rows,
                        std::size_t streams);
// `times`: row.elapsed read; without, the column is only checked (as
// the fast reader, which keeps no times, needs) and row.elapsed may stay 0.
std::string MangoHudRowOf(const Layout& layout, const std::string_view* fields, MangoHudRow& row,
                          bool padded = false, bool times = true);
// MangoHudRowOf's shortcut for a padded row whose fps, frametime and
// draw_time (when there) are csv::PaddedDecimal's and whose elapsed is up
// to 16 digits, as most are: their values as digits and decimals, `micro`
// as MangoHudRowOf says it. False leaves the row to MangoHudRowOf.
struct MangoHudDecimals {
  std::uint64_t frametime = 0, draw = 0;
  int frametimeDecimals = 0;
  int drawDecimals = -1;  // negative: no draw
  bool micro = false;
};
bool MangoHudQuickRow(const Layout& layout, const std::string_view* fields, MangoHudDecimals& row);
// The same for a row without draw_time, from its three fields.
bool MangoHudQuickFields(std::string_view fps, std::string_view frametime, std::string_view elapsed,
                         MangoHudDecimals& row);
// Whether fps x frametime says microseconds, for two PaddedDecimal values:
// from the digits' exact product wherever that is clear of the threshold
// by far more than the doubles' rounding, from the doubles near it.
bool MangoHudMicro(std::uint64_t fps, int fpsDecimals, std::uint64_t frametime,
                   int frametimeDecimals);
// The unit of a log whose rows say microseconds `micro` times out of `rows`.
std::int64_t MangoHudUnit(std::size_t micro, std::size_t rows);

// The first line and the header of any format: file.format, and for zel
// files the application, are set. An error line, or empty.
std::string Header(csv::Lines& lines, CaptureFile& file, Layout& layout);

std::string ReadZel(csv::Lines& lines, const Layout& layout, CaptureFile& file);
void WriteZel(std::ostream& out, const Capture& capture);

std::string ReadPresentMon(csv::Lines& lines, const Layout& layout, CaptureFile& file);
void WritePresentMon(std::ostream& out, const Capture& capture);

std::string ReadMangoHud(csv::Lines& lines, const Layout& layout, CaptureFile& file);
void WriteMangoHud(std::ostream& out, const Capture& capture);

// The fields of a row as views, for the row functions.
std::vector<std::string_view> Views(const std::vector<std::string>& fields);

// Opens `path` for reading into `in`; an error line, or empty. A folder is
// refused by name, not read as an empty file.
std::string OpenError(const std::string& path, std::ifstream& in);

}  // namespace zel_analysis::formats

#endif
