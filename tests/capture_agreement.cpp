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
#include <utility>
#include <vector>

namespace {

constexpr long kFirstFrames = 10;  // of the program's, left out
constexpr long kLeastCompared = 30;
constexpr double kMedianLimitUs = 50.0;
constexpr double kMeanLimitPercent = 0.5;

std::vector<double> Intervals(const zel_analysis::Capture& capture, long first, long last) {
  std::vector<double> ns;
  for (long i = first; i < static_cast<long>(capture.frames.size()) - last; ++i)
    ns.push_back(static_cast<double>(capture.frames[i].intervalNs));
  return ns;
}

struct Overlap {
  long offset;
  std::vector<double> gaps;  // |tool - own| per frame, ns; the median in the middle
  double toolSum = 0.0;
  double ownSum = 0.0;
  double Median() const { return gaps[gaps.size() / 2]; }
};

// Tool row i against own frame i + offset, over the rows both have.
Overlap Compare(const std::vector<double>& tool, const std::vector<double>& own, long offset) {
  Overlap overlap{offset};
  for (long i = std::max(0L, -offset);
       i < static_cast<long>(tool.size()) && i + offset < static_cast<long>(own.size()); ++i) {
    overlap.gaps.push_back(std::abs(tool[i] - own[i + offset]));
    overlap.toolSum += tool[i];
    overlap.ownSum += own[i + offset];
  }
  const auto middle = static_cast<std::ptrdiff_t>(overlap.gaps.size() / 2);
  std::nth_element(overlap.gaps.begin(), overlap.gaps.begin() + middle, overlap.gaps.end());
  return overlap;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zeltimers_capture_agreement TOOL_LOG OWN_CAPTURE\n");
    return 2;
  }
  const zel_analysis::CaptureFile tool = zel_analysis::ReadCaptureFile(argv[1]);
  const zel_analysis::CaptureFile own = zel_analysis::ReadCaptureFile(argv[2]);
  const std::vector<double> a = Intervals(tool.capture, 0, 1);
  const std::vector<double> b = Intervals(own.capture, kFirstFrames, 0);
  const long n = static_cast<long>(a.size());
  Overlap match{0};
  // Offsets at which most of the tool's rows, and at least kLeastCompared, are compared.
  for (long offset = -n; offset < static_cast<long>(b.size()); ++offset) {
    Overlap overlap = Compare(a, b, offset);
    const long count = static_cast<long>(overlap.gaps.size());
    if (count >= kLeastCompared && count * 2 >= n &&
        (match.gaps.empty() || overlap.Median() < match.Median()))
      match = std::move(overlap);
  }
  if (match.gaps.empty()) {
    std::fprintf(stderr, "agreement: %s\n",
                 !tool.error.empty()  ? tool.error.c_str()
                 : !own.error.empty() ? own.error.c_str()
                                      : "too few frames to compare");
    return 2;
  }
  const double medianUs = match.Median() / 1000.0;
  const double meanPercent = 100.0 * (match.toolSum - match.ownSum) / match.ownSum;
  const bool agree = medianUs < kMedianLimitUs && std::abs(meanPercent) < kMeanLimitPercent;
  std::printf(
      "agreement: %zu frames compared at offset %ld, median difference %.1f us, mean "
      "intervals differ by %+.3f %%: %s\n",
      match.gaps.size(), match.offset + kFirstFrames, medianUs, meanPercent,
      agree ? "agree" : "DISAGREE");
  return agree ? 0 : 1;
}
