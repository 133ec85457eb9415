// The fast capture reader on one PresentMon file, for counting the work it
// does (CI counts its instructions with callgrind, .ci/stages/25-capture-work.sh):
//
//   zelanalysis_capture_work good|quote|bad FRAMES
//
// good: FRAMES well-formed rows; quote: the same with a quote that never
// closes in the 10th row, as when a program's name is cut short; bad: a
// number that is not one in the last row. Blocks of 4 KiB and two parts,
// so that the file spans many of both. Prints the reader's error line.
#include <ZelAnalysis/Capture.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/scan.h"

int main(int argc, char** argv) {
  const std::string kind = argc == 3 ? argv[1] : "";
  const long frames = argc == 3 ? std::atol(argv[2]) : 0;
  if ((kind != "good" && kind != "quote" && kind != "bad") || frames < 10) {
    std::fputs("usage: zelanalysis_capture_work good|quote|bad FRAMES (at least 10)\n", stderr);
    return 2;
  }
  std::string text = "Application,ProcessID,SwapChainAddress,TimeInSeconds,MsBetweenPresents\n";
  for (long i = 0; i < frames; ++i) {
    text += kind == "quote" && i == 9 ? "\"Game-Win64" : "Game-Win64.exe";
    text += ",14520,0x0000021F3A5C9E40,";
    text += std::to_string(static_cast<double>(i) / 120.0);
    text += kind == "bad" && i + 1 == frames ? ",8.3x\n" : ",8.333\n";
  }
  zel_analysis::CaptureFile file;
  const auto ns = zel_analysis::scan::ReadFrameTimes({"work.csv", &text}, file,
                                                     {4096, std::size_t{64} << 10, 2});
  std::printf("%zu frames; %s\n", ns.size(), file.error.empty() ? "no error" : file.error.c_str());
  return file.error.empty() == (kind == "good") ? 0 : 1;
}
