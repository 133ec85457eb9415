#include "graph.h"

#include <algorithm>
#include <cmath>

namespace glfwdemo {

FrameGraph LayOutFrameGraph(const std::vector<float>& swapSeconds, double targetMs,
                            std::size_t slots, float width, float height) {
  FrameGraph graph;
  double longestMs = 0.0;
  for (const float seconds : swapSeconds) longestMs = std::max(longestMs, 1000.0 * seconds);
  const double steps = std::clamp(std::ceil(longestMs / targetMs), 2.0, 4.0);
  const double topMs = steps * targetMs;
  graph.topMs = static_cast<float>(topMs);
  graph.targetY = static_cast<float>(height / steps);

  // The newest samples only, when there are more than places.
  const std::size_t count = std::min(swapSeconds.size(), slots);
  const double step = slots > 1 ? width / static_cast<double>(slots - 1) : 0.0;
  graph.frameTimes.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double ms = 1000.0 * swapSeconds[swapSeconds.size() - count + i];
    const double x = width - step * static_cast<double>(count - 1 - i);
    const double y = height * std::min(ms, topMs) / topMs;
    graph.frameTimes.push_back({static_cast<float>(x), static_cast<float>(y)});
  }
  return graph;
}

}  // namespace glfwdemo
