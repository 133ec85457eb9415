// The plot's scales: fewest ticks within the limit, a range that covers the
// data, and ticks that print exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "ZelAnalysis/FramePlot.h"

namespace {

TEST(FramePlot, NiceScales) {
  const struct {
    double low, high;
    int maxTicks;
    double min, max, step;
    int decimals;
  } cases[] = {
      {0.0, 10.564, 11, 0.0, 12.0, 2.0, 0},  // 1 ms steps would need 12 ticks
      {0.0, 2.532, 11, 0.0, 3.0, 0.5, 1},   {0.0, 567.25, 11, 0.0, 600.0, 100.0, 0},
      {0.0, 0.3, 4, 0.0, 0.3, 0.1, 1},      {-1.0, 1.0, 2, -1.0, 1.0, 1.0, 0},
      {7.0, 7.0, 5, 6.0, 14.0, 2.0, 0},     {NAN, 5.0, 5, 0.0, 1.0, 0.5, 1},
  };
  for (const auto& c : cases) {
    const zel_analysis::Scale s = zel_analysis::NiceScale(c.low, c.high, c.maxTicks);
    EXPECT_EQ(std::make_tuple(s.min, s.max, s.step, s.decimals),
              std::make_tuple(c.min, c.max, c.step, c.decimals))
        << c.low << " to " << c.high;
    ASSERT_EQ(s.ticks.size(), std::lround((c.max - c.min) / c.step) + 1);
    EXPECT_EQ(s.ticks.back(), c.max);  // each tick rounded once: 0.3, not 0.1 + 0.1 + 0.1
  }
}

}  // namespace
