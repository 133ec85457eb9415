// Summarize with its passes cut in two, for the tests to compare with the
// passes whole.
#ifndef ZELANALYSIS_SRC_STATS_H
#define ZELANALYSIS_SRC_STATS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ZelAnalysis/FrameStats.h"

namespace zel_analysis {

// Summarize(frameNs), each pass over the frames run as two parts at the
// same time, those before frame `split` and those from it on; whole on one
// thread when `split` is 0. The figures are the same either way.
FrameStats SummarizeInParts(const std::vector<std::int64_t>& frameNs, std::size_t split);

}  // namespace zel_analysis

#endif
