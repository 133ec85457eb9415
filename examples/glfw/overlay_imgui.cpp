// The overlay as a Dear ImGui window holding the frame panel, drawn with
// the OpenGL 2 back end (the scene already uses OpenGL 1.x calls, so no
// loader is needed). The panel takes no input, so the demo gives ImGui its
// display size and time itself rather than through the GLFW back end, whose
// mouse and window queries are round trips to the X server in every frame.
#include <ZelImGui/FramePanel.h>
#include <backends/imgui_impl_opengl2.h>

#include <algorithm>
#include <cmath>

#include "overlay.h"

namespace glfwdemo {

namespace {
constexpr std::size_t kPanelFrames = 240;  // four seconds at 60 fps
constexpr float kFontPixels = 13.0f;       // the default font's own size
constexpr float kBaseHeight = 540.0f;      // a framebuffer this tall or less: scale 1
}  // namespace

struct Overlay::State {
  zel_imgui::FramePanel panel{kPanelFrames};
  zel_imgui::FramePanelOptions options;
  double lastTime = 0.0;  // glfwGetTime at the last frame
};

Overlay::Overlay(GLFWwindow* window, double targetFps) : m_State(std::make_unique<State>()) {
  m_State->options.targetFps = targetFps;
  m_State->options.histogram = true;
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  // Whole steps of the default font's size, so that its pixels stay sharp:
  // 1 at 640x480, 2 at 1920x1080.
  int width = 0;
  int height = 0;
  glfwGetFramebufferSize(window, &width, &height);
  const float scale = std::max(1.0f, std::round(static_cast<float>(height) / kBaseHeight));
  ImFontConfig font;
  font.SizePixels = kFontPixels * scale;
  io.Fonts->AddFontDefault(&font);
  ImGui::StyleColorsDark();
  ImGui::GetStyle().ScaleAllSizes(scale);
  ImGui_ImplOpenGL2_Init();
  m_State->lastTime = glfwGetTime();
}

Overlay::~Overlay() {
  ImGui_ImplOpenGL2_Shutdown();
  ImGui::DestroyContext();
}

void Overlay::Draw(CZelFrameRate& meter, int width, int height) {
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(static_cast<float>(width), static_cast<float>(height));
  const double now = glfwGetTime();
  io.DeltaTime = static_cast<float>(std::max(now - m_State->lastTime, 1e-6));
  m_State->lastTime = now;
  ImGui_ImplOpenGL2_NewFrame();
  ImGui::NewFrame();
  const float margin = ImGui::GetStyle().WindowPadding.x;
  ImGui::SetNextWindowPos(ImVec2(margin, margin));
  ImGui::SetNextWindowBgAlpha(0.92f);
  ImGui::Begin("Frames", nullptr,
               ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_AlwaysAutoResize |
                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoFocusOnAppearing |
                   ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoInputs);
  zel_imgui::ShowFramePanel(m_State->panel, meter, m_State->options);
  ImGui::End();
  ImGui::Render();
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

}  // namespace glfwdemo
