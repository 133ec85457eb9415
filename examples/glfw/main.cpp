// zel-glfwdemo: meters a real OpenGL render loop. Each frame clears the
// window and draws a spinning triangle with OpenGL 1.x calls (so no loader
// library is needed), between the meter's draw notices; the swap notice
// follows glfwSwapBuffers.
//
//   zel-glfwdemo [seconds]   run for that long (default: until closed)
#include <GLFW/glfw3.h>
#include <ZelTimers.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void OnGlfwError(int code, const char* description) {
  std::fprintf(stderr, "zel-glfwdemo: GLFW error %d: %s\n", code, description);
}

void DrawFrame(double t) {
  glClearColor(0.1f, 0.1f, 0.15f + 0.1f * static_cast<float>(std::sin(t)), 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRotated(t * 90.0, 0.0, 0.0, 1.0);
  glBegin(GL_TRIANGLES);
  glColor3f(1.0f, 0.3f, 0.2f);
  glVertex2f(0.0f, 0.7f);
  glColor3f(0.2f, 1.0f, 0.3f);
  glVertex2f(-0.6f, -0.4f);
  glColor3f(0.3f, 0.4f, 1.0f);
  glVertex2f(0.6f, -0.4f);
  glEnd();
}

double Mean(const std::vector<float>& samples) {
  double sum = 0.0;
  for (const float sample : samples) sum += sample;
  return samples.empty() ? 0.0 : sum / static_cast<double>(samples.size());
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 0.0;
  char* end = nullptr;
  if (argc == 2) seconds = std::strtod(argv[1], &end);
  if (argc > 2 || (argc == 2 && (*end != '\0' || !(seconds > 0.0)))) {
    std::fprintf(stderr, "zel-glfwdemo: usage: zel-glfwdemo [seconds > 0]\n");
    return 2;
  }

  glfwSetErrorCallback(OnGlfwError);
  if (!glfwInit()) return 1;
  GLFWwindow* window = glfwCreateWindow(480, 360, "ZelTimers: CZelFrameRate", nullptr, nullptr);
  if (window == nullptr) {
    glfwTerminate();
    return 1;
  }
  glfwMakeContextCurrent(window);
  glfwSwapInterval(1);

  CZelFrameRate meter(120);
  CZelWallTimer run;
  run.Start();
  long frames = 0;
  double nextReport = 1.0;
  while (!glfwWindowShouldClose(window)) {
    const double t = run.Elapsed(CZelTimer::eSeconds);
    if (seconds > 0.0 && t >= seconds) break;

    meter.FrameDrawStartNotice();
    DrawFrame(t);
    meter.FrameDrawEndNotice();
    glfwSwapBuffers(window);
    meter.SwapCallNotice();
    ++frames;
    glfwPollEvents();

    if (t >= nextReport) {
      std::printf("%5.1f s  %7.1f fps  draw %.3f ms (mean of %d)\n", t, meter.GetFrameRate(),
                  Mean(meter.GetDrawHistory()), meter.GetBufferCount());
      std::fflush(stdout);
      nextReport += 1.0;
    }
  }

  const std::string runTime = run.ReportElapsed(CZelTimer::eAutomatic);
  const float fps = meter.GetFrameRate();
  glfwDestroyWindow(window);
  glfwTerminate();
  std::printf("run time: %s\nframes: %ld\nframe rate: %.1f fps\n", runTime.c_str(), frames, fps);
  return fps > 0.0f ? 0 : 1;
}
