// What the demo draws over its scene: the ImGui frame panel where Dear ImGui
// was found, otherwise a plain OpenGL graph of the swap history. The build
// picks one of overlay_imgui.cpp and overlay_gl.cpp.
#ifndef ZELTIMERS_GLFWDEMO_OVERLAY_H
#define ZELTIMERS_GLFWDEMO_OVERLAY_H

#include <GLFW/glfw3.h>
#include <ZelTimers.h>

#include <memory>

namespace glfwdemo {

class Overlay {
public:
  // `targetFps` is the rate the loop aims for, marked on the graph; the
  // window's framebuffer height sets the text size.
  Overlay(GLFWwindow* window, double targetFps);
  ~Overlay();
  Overlay(const Overlay&) = delete;
  Overlay& operator=(const Overlay&) = delete;

  // Draws over the current frame, `width` x `height` pixels, from the meter.
  void Draw(CZelFrameRate& meter, int width, int height);

private:
  struct State;
  std::unique_ptr<State> m_State;
};

}  // namespace glfwdemo

#endif
