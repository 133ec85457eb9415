// The overlay's frame-time graph, laid out apart from the GL calls that
// draw it.
#ifndef ZELTIMERS_GLFWDEMO_GRAPH_H
#define ZELTIMERS_GLFWDEMO_GRAPH_H

#include <cstddef>
#include <vector>

namespace glfwdemo {

struct Point {
  float x;
  float y;
};

struct FrameGraph {
  std::vector<Point> frameTimes;  // one point per interval, oldest first
  float targetY = 0.0f;           // height of the target frame time
  float topMs = 0.0f;             // the frame time at the top edge
};

// Lays out swap intervals (seconds, oldest first, as GetSwapHistory gives
// them) over a width x height area, y up from its bottom edge. There are
// `slots` places from the left edge to the right one, and the newest
// interval is always in the last, so the graph scrolls left as frames come.
//
// The top edge stands for 2, 3 or 4 target frame times: the least that holds
// the longest interval, so steady frames sit at half height and a stutter
// rescales in whole steps. Intervals beyond 4 targets are clipped to the top.
// targetMs must be above 0.
FrameGraph LayOutFrameGraph(const std::vector<float>& swapSeconds, double targetMs,
                            std::size_t slots, float width, float height);

}  // namespace glfwdemo

#endif
