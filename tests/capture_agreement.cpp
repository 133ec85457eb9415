// Agreement of two captures of the same run: an outside tool's log and the
// program's own capture (CI: MangoHud's log against zel-glfwdemo --capture).
//
//   zeltimers_capture_agreement TOOL_LOG OWN_CAPTURE
//
// The tool times a frame from just before the swap and the program from just
// after it, so their intervals differ by the swap's jitter only. The two
// start at different frames: the tool's rows are lined up with the program's
// frames at the offset (the frame that the tool's first row matches) whose
// median absolute difference is least. Left out: the first frames of the new
// window (slow first swaps) and the tool's last row, cut off when logging
// stopped. Prints the figures on one line; exit status 0 on agreement, 1 on
// disagreement, 2 for an unreadable or too short input.
#include <ZelAnalysis/Capture.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t kFirstFrames = 10;  // of the program's, left out
constexpr std::size_t kLeastCompared = 30;
constexpr double kMedianLimitUs = 50.0;
constexpr double kMeanLimitPercent = 0.5;

struct Match {
  long offset = 0;
  std::size_t compared = 0;
  double medianNs = 0.0, toolSum = 0.0, ownSum = 0.0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zeltimers_capture_agreement TOOL_LOG OWN_CAPTURE\n");
    return 2;
  }
  const zel_analysis::CaptureFile tool = zel_analysis::ReadCaptureFile(argv[1]);
  const zel_analysis::CaptureFile own = zel_analysis::ReadCaptureFile(argv[2]);
  std::vector<double> a, b;  // the tool's intervals but its last, the program's but its first
  for (std::size_t i = 0; i + 1 < tool.capture.frames.size(); ++i)
    a.push_back(static_cast<double>(tool.capture.frames[i].intervalNs));
  for (std::size_t i = kFirstFrames; i < own.capture.frames.size(); ++i)
    b.push_back(static_cast<double>(own.capture.frames[i].intervalNs));

  // Tool row i against program frame i + offset, at every offset where most
  // of the tool's rows, and at least kLeastCompared, are compared.
  Match best;
  for (long offset = -static_cast<long>(a.size()); offset < static_cast<long>(b.size()); ++offset) {
    Match match{offset};
    std::vector<double> gaps;
    for (long i = std::max(0L, -offset);
         i < static_cast<long>(a.size()) && i + offset < static_cast<long>(b.size()); ++i) {
      gaps.push_back(std::abs(a[i] - b[i + offset]));
      match.toolSum += a[i];
      match.ownSum += b[i + offset];
    }
    if (gaps.size() < kLeastCompared || gaps.size() * 2 < a.size()) continue;
    const auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
    std::nth_element(gaps.begin(), middle, gaps.end());
    match.compared = gaps.size();
    match.medianNs = *middle;
    if (best.compared == 0 || match.medianNs < best.medianNs) best = match;
  }
  if (best.compared == 0) {
    std::fprintf(stderr, "agreement: %s\n",
                 !tool.error.empty()  ? tool.error.c_str()
                 : !own.error.empty() ? own.error.c_str()
                                      : "too few frames to compare");
    return 2;
  }
  const double medianUs = best.medianNs / 1000.0;
  const double meanPercent = 100.0 * (best.toolSum - best.ownSum) / best.ownSum;
  const bool agree = medianUs < kMedianLimitUs && std::abs(meanPercent) < kMeanLimitPercent;
  std::printf(
      "agreement: %zu frames compared at offset %ld, median difference %.1f us, mean "
      "intervals differ by %+.3f %%: %s\n",
      best.compared, best.offset + static_cast<long>(kFirstFrames), medianUs, meanPercent,
      agree ? "agree" : "DISAGREE");
  return agree ? 0 : 1;
}
