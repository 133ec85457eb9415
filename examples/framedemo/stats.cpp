#include "stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace framedemo {

Summary Summarize(std::vector<float> samples) {
  Summary summary;
  if (samples.empty()) return summary;
  std::sort(samples.begin(), samples.end());
  const std::size_t n = samples.size();
  double sum = 0.0;
  for (const float sample : samples) sum += sample;
  summary.count = n;
  summary.mean = sum / static_cast<double>(n);
  summary.median = n % 2 == 1 ? samples[n / 2]
                              : (static_cast<double>(samples[n / 2 - 1]) + samples[n / 2]) / 2.0;
  // Integer arithmetic for ceil(0.99 * n), so no rounding picks the wrong rank.
  const std::size_t rank = (99 * n + 99) / 100;
  summary.p99 = samples[rank - 1];
  summary.min = samples.front();
  summary.max = samples.back();
  return summary;
}

std::vector<float> Scaled(std::vector<float> samples, float factor) {
  for (float& sample : samples) sample *= factor;
  return samples;
}

std::string Histogram(const std::vector<float>& samples, int bins, int width) {
  if (samples.empty() || bins < 1 || width < 1) return {};
  width = std::min(width, 100);
  const auto [lowest, highest] = std::minmax_element(samples.begin(), samples.end());
  const double low = *lowest;
  const double span = static_cast<double>(*highest) - low;
  if (span == 0.0) bins = 1;
  std::vector<std::size_t> counts(static_cast<std::size_t>(bins), 0);
  for (const float sample : samples) {
    const double position = span == 0.0 ? 0.0 : (sample - low) / span * bins;
    const auto bin = std::min(static_cast<std::size_t>(position), counts.size() - 1);
    ++counts[bin];
  }
  const std::size_t fullest = *std::max_element(counts.begin(), counts.end());
  std::string text;
  // Enough decimals that neighbouring bin edges differ in print.
  const double binWidth = span / bins;
  int decimals = span == 0.0 ? 3 : 1;
  while (span > 0.0 && decimals < 6 && binWidth * std::pow(10.0, decimals) < 10.0) ++decimals;
  char range[96];
  for (int bin = 0; bin < bins; ++bin) {
    const std::size_t count = counts[static_cast<std::size_t>(bin)];
    const auto bar = count == 0 ? 0
                                : std::max<long>(1, std::lround(static_cast<double>(count) * width /
                                                                static_cast<double>(fullest)));
    std::snprintf(range, sizeof range, "  %8.*f - %8.*f |", decimals, low + span * bin / bins,
                  decimals, low + span * (bin + 1) / bins);
    text += range;
    text += std::string(static_cast<std::size_t>(bar), '#');
    text += std::string(static_cast<std::size_t>(width - bar + 1), ' ');
    text += std::to_string(count) + "\n";
  }
  return text;
}

std::string StatusLine(double seconds, float fps, const Summary& drawMs, const Summary& swapMs) {
  char rate[32];
  if (fps < 0.0f) {
    std::snprintf(rate, sizeof rate, "%7s", "n/a");
  } else {
    std::snprintf(rate, sizeof rate, "%7.1f", fps);
  }
  char line[256];
  std::snprintf(line, sizeof line,
                "[%5.1f s] %s fps | draw ms: mean %.3f median %.3f p99 %.3f"
                " | swap ms: min %.3f max %.3f",
                seconds, rate, drawMs.mean, drawMs.median, drawMs.p99, swapMs.min, swapMs.max);
  return line;
}

}  // namespace framedemo
