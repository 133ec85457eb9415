// Statistics and text rendering of the meter's histories.
#ifndef ZELTIMERS_FRAMEDEMO_STATS_H
#define ZELTIMERS_FRAMEDEMO_STATS_H

#include <cstddef>
#include <string>
#include <vector>

namespace framedemo {

struct Summary {
  std::size_t count = 0;  // the other fields are 0 when there are no samples
  double mean = 0.0;
  double median = 0.0;  // mean of the two middle samples for an even count
  double p99 = 0.0;     // nearest rank: the smallest sample >= 99% of them
  double min = 0.0;
  double max = 0.0;
};

// Takes the samples by value: the meter hands out copies, and sorting one
// in place is all the work needs.
Summary Summarize(std::vector<float> samples);

// Samples scaled by `factor`, e.g. the swap history's seconds to milliseconds.
std::vector<float> Scaled(std::vector<float> samples, float factor);

// A text histogram, one line per bin between the smallest and largest
// sample: "  16.55 - 16.78 |#########            42". Bars are scaled so
// the fullest bin is `width` characters; a non-empty bin shows at least one.
// Empty input gives an empty string.
std::string Histogram(const std::vector<float>& samples, int bins, int width);

// One status line: "[  2.0 s]   60.0 fps | draw ms: mean 0.041 median 0.038
// p99 0.095 | swap ms: min 16.512 max 16.823". A frame rate below zero (the
// meter has not seen two swaps yet) prints as "n/a".
std::string StatusLine(double seconds, float fps, const Summary& drawMs, const Summary& swapMs);

}  // namespace framedemo

#endif
