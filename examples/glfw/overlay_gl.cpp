// The overlay without Dear ImGui: the swap history as a graph in the top
// left corner, drawn with OpenGL 1.x calls.
#include <cstddef>

#include "graph.h"
#include "overlay.h"

namespace glfwdemo {

namespace {
// The box in the window's top left corner, in pixels, and the graph's area
// inside it.
constexpr std::size_t kSlots = 120;  // intervals shown
constexpr float kMargin = 8.0f;
constexpr float kPadding = 6.0f;
constexpr float kGraphWidth = 238.0f;  // two pixels per interval
constexpr float kGraphHeight = 72.0f;
}  // namespace

struct Overlay::State {
  double targetMs;
};

// With no target of its own the graph marks 60 fps, a common display rate.
Overlay::Overlay(GLFWwindow* /*window*/, double targetFps)
    : m_State(std::make_unique<State>(State{1000.0 / (targetFps > 0.0 ? targetFps : 60.0)})) {}

Overlay::~Overlay() = default;

// The graph over a translucent dark box: the frame times as a bright cyan
// line, the target frame time as a dashed amber one.
void Overlay::Draw(CZelFrameRate& meter, int width, int height) {
  const FrameGraph graph = LayOutFrameGraph(meter.GetSwapHistory(), m_State->targetMs, kSlots,
                                            kGraphWidth, kGraphHeight);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // Graph coordinates from here on, y up from the graph's bottom edge.
  glTranslatef(kMargin + kPadding, static_cast<float>(height) - kMargin - kPadding - kGraphHeight,
               0.0f);

  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0.0f, 0.0f, 0.0f, 0.6f);
  glRectf(-kPadding, -kPadding, kGraphWidth + kPadding, kGraphHeight + kPadding);
  glDisable(GL_BLEND);

  glLineWidth(2.0f);
  glColor3ub(0, 230, 255);
  glBegin(GL_LINE_STRIP);
  for (const Point& point : graph.frameTimes) glVertex2f(point.x, point.y);
  glEnd();

  // Dashed and on top, so steady frames right on target still show both.
  glEnable(GL_LINE_STIPPLE);
  glLineStipple(1, 0x00FF);
  glColor3ub(255, 190, 0);
  glBegin(GL_LINES);
  glVertex2f(0.0f, graph.targetY);
  glVertex2f(kGraphWidth, graph.targetY);
  glEnd();
  glDisable(GL_LINE_STIPPLE);
}

}  // namespace glfwdemo
