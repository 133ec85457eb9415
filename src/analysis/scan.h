// The fast reader behind ReadFrameTimesFile: the rows of a capture split
// straight out of large blocks of bytes, the file cut into parts that
// threads read side by side and hand on in order, and only the frame times
// kept. The header and every row go through the same rules as the plain
// reader (formats.h) and it gives the same answers, error lines included;
// the little it does not take on (a row longer than Options::rowBytes
// that closes, a PresentMon file without times whose summed intervals grow
// too long) is left to the plain reader.
#ifndef ZELANALYSIS_SRC_SCAN_H
#define ZELANALYSIS_SRC_SCAN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ZelAnalysis/Capture.h"

namespace zel_analysis::scan {

struct Options {
  // Read at a time, and a part's size; 0: the format's own (see Fast).
  std::size_t blockBytes = 0;
  std::size_t partBytes = std::size_t{32} << 20;  // the least worth a thread of its own
  unsigned parts = 0;                             // threads at most; 0: one per core, up to 8
  std::size_t rowBytes = std::size_t{16} << 20;   // a longer row is left to the plain reader
};

// Where the bytes are: the file `name`, or `memory` when it is not null.
struct Source {
  std::string name;
  const std::string* memory = nullptr;
};

// How the frame times were got.
enum class Path { kFast, kPlain };

// FrameTimesOf(ReadCapture(...).capture), and the rest of what ReadCapture
// gives but the frames, into `file`.
std::vector<std::int64_t> ReadFrameTimes(const Source& source, CaptureFile& file,
                                         const Options& options, Path* path = nullptr);

}  // namespace zel_analysis::scan

#endif
