// ZelTimers analysis: frame captures and the files they are kept in.
//
// A capture is the list of a program's presented frames: when each swap
// happened, the interval since the one before, and how long the frame took
// to draw. It is read from and written to the CSV files that frame-time
// tools exchange: PresentMon's, MangoHud's logs, and this library's own.
#ifndef ZELANALYSIS_CAPTURE_H
#define ZELANALYSIS_CAPTURE_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace zel_analysis {

/// The draw time of a frame whose capture holds none.
constexpr std::int64_t kNoDrawTime = -1;

/// One presented frame, in whole nanoseconds.
struct Frame {
  std::int64_t timeNs;      ///< the swap, since the capture began (the tool's own origin)
  std::int64_t intervalNs;  ///< since the previous swap
  std::int64_t drawNs;      ///< time spent drawing the frame, or kNoDrawTime
};

inline bool operator==(const Frame& a, const Frame& b) {
  return a.timeNs == b.timeNs && a.intervalNs == b.intervalNs && a.drawNs == b.drawNs;
}
inline bool operator!=(const Frame& a, const Frame& b) { return !(a == b); }

/// A program's frames, in the order they were presented.
struct Capture {
  std::string application;
  std::vector<Frame> frames;
};

/// The file formats, each with one reader and one writer:
///  - kZel: this library's own CSV, exact to the nanosecond, all three values;
///  - kPresentMon: PresentMon 1.x columns plus MsCPUBusy (reads 1.x and 2.x);
///  - kMangoHud: MangoHud's log (reads 0.6, frame times in microseconds, and
///    later versions, in milliseconds).
enum class CaptureFormat { kZel, kPresentMon, kMangoHud };

/// "zel", "presentmon" or "mangohud".
const char* FormatName(CaptureFormat format);
/// The format of that name; false for any other name.
bool FormatFromName(const std::string& name, CaptureFormat& format);

/// What a reader made of a file. On error the capture is empty: nothing of
/// a file that fails to read is used.
struct CaptureFile {
  Capture capture;
  CaptureFormat format = CaptureFormat::kZel;
  /// What was chosen, when the file held more than one program or swap
  /// chain: "Presenter.exe, 57 of 119 rows". Empty otherwise.
  std::string note;
  /// One line, "NAME:LINE: what was wrong"; empty on success.
  std::string error;
};

/// Reads a capture in any of the formats, told apart by its first line.
/// `name` stands for the stream in error messages.
///
/// Fields are separated by commas; double quotes enclose a field holding
/// commas, quotes ("" for one) or line ends, which then belong to the
/// field. Blank lines are skipped. These are errors, each one line naming
/// the line and the fault, rather than guesses: a row with fewer fields
/// than the columns read need, or with more than the header names (a
/// decimal comma, "16,6", would shift every column after it); a header
/// naming a column the reader uses, or its alternative, twice (ignoring
/// case); a value that is not a number, negative, or longer than about 3
/// years (1e17 ns), and summed intervals longer than that; and a quote
/// that never closes, named at the line where it opens.
///
/// The readers throw what is the machine's fault rather than the file's:
/// std::bad_alloc when memory runs out, std::ios::failure on a read error.
CaptureFile ReadCapture(std::istream& in, const std::string& name);
/// ReadCapture of a file; a file that cannot be opened, or a folder, is an
/// error too.
CaptureFile ReadCaptureFile(const std::string& path);

/// The frame intervals of a capture file, in order: exactly what
/// FrameTimesOf(ReadCaptureFile(path).capture) gives, with the same errors,
/// at 8 bytes a frame where a Capture holds 24. `file` gets the rest of what
/// ReadCaptureFile gives (format, application, note, error) but no frames.
/// Large files are read a block at a time, in parts side by side, one per
/// core.
std::vector<std::int64_t> ReadFrameTimesFile(const std::string& path, CaptureFile& file);

/// Writes a capture; numbers always use '.', whatever the locale.
void WriteCapture(std::ostream& out, const Capture& capture, CaptureFormat format);
/// WriteCapture to a file. Returns an error line, empty on success.
std::string WriteCaptureFile(const std::string& path, const Capture& capture, CaptureFormat format);

}  // namespace zel_analysis

#endif
