// zel-glfwdemo: meters a real OpenGL render loop. Each frame clears the
// window, draws a spinning triangle and, over it in the top left corner, a
// graph of the meter's recent frame times, all with OpenGL 1.x calls (so no
// loader library is needed), between the meter's draw notices; the swap
// notice follows glfwSwapBuffers.
//
//   zel-glfwdemo [seconds] [--fps N] [--capture FILE [--format NAME]]
//                [--screenshot FILE]        (--help explains them)
#include <GLFW/glfw3.h>
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelTimers.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "graph.h"
#include "pacer.h"

namespace {

constexpr const char* kProgram = "zel-glfwdemo";
constexpr int kHistory = 120;  // swap intervals the meter keeps, and the graph shows

// The overlay box in the window's top left corner, in pixels, and the
// graph's area inside it.
constexpr float kMargin = 8.0f;
constexpr float kPadding = 6.0f;
constexpr float kGraphWidth = 238.0f;  // two pixels per interval
constexpr float kGraphHeight = 72.0f;

struct Options {
  double seconds = 0.0;  // 0: until the window is closed
  double fps = -1.0;     // below 0: the swap interval paces; 0: uncapped
  std::string capture;   // file for every frame; empty for none
  std::string format = "presentmon";
  std::string screenshot;  // PPM file of the last frame; empty for none
};

const char* const kUsage =
    "Usage: zel-glfwdemo [seconds] [options]\n"
    "Draws a spinning triangle in a GLFW window, meters every frame with\n"
    "CZelFrameRate and prints the frame rate once a second. A graph in the top\n"
    "left corner shows the last 120 frame times against a dashed line at the\n"
    "target frame time (60 fps when there is no --fps target). Runs for\n"
    "`seconds`, or until the window is closed.\n"
    "\n"
    "  --fps N            pace to N frames per second against absolute deadlines,\n"
    "                     0 for uncapped (default: the swap interval, 1)\n"
    "  --capture FILE     write every frame to FILE at exit (see --format)\n"
    "  --format NAME      the capture's format: presentmon (default), mangohud\n"
    "                     or zel\n"
    "  --screenshot FILE  at exit, write the last frame to FILE as a binary PPM\n"
    "  --help             print this text and exit\n"
    "\n"
    "Exit status: 0 on success, 1 if a file could not be written or no frame\n"
    "rate was measured, 2 for a bad argument.\n";

bool ReadNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

// Returns one line naming what was wrong; empty on success.
std::string ParseOptions(int argc, char** argv, Options& options, bool& help) {
  bool haveSeconds = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) {
      if (haveSeconds || !ReadNumber(argv[i], options.seconds) || !(options.seconds > 0.0))
        return "unexpected argument '" + arg + "': expected seconds > 0, once";
      haveSeconds = true;
      continue;
    }
    // --name value or --name=value
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name != "--fps" && name != "--capture" && name != "--format" && name != "--screenshot")
      return "unknown option '" + arg + "' (see --help)";
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      return "option " + name + " needs a value (see --help)";
    }
    zel_analysis::CaptureFormat format;
    if (name == "--fps") {
      if (!ReadNumber(value.c_str(), options.fps) || options.fps < 0.0 || options.fps > 1000.0)
        return "invalid value '" + value + "' for --fps: expected 0 (uncapped) to 1000";
    } else if (name == "--format") {
      if (!zel_analysis::FormatFromName(value, format))
        return "invalid value '" + value + "' for --format: expected presentmon, mangohud or zel";
      options.format = value;
    } else if (value.empty()) {
      return "option " + name + " needs a file name";
    } else {
      (name == "--capture" ? options.capture : options.screenshot) = value;
    }
  }
  return {};
}

void OnGlfwError(int code, const char* description) {
  std::fprintf(stderr, "%s: GLFW error %d: %s\n", kProgram, code, description);
}

void DrawScene(double t) {
  glClearColor(0.1f, 0.1f, 0.15f + 0.1f * static_cast<float>(std::sin(t)), 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
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

// The graph over a translucent dark box, like a game's performance overlay:
// the frame times as a bright cyan line, the target frame time as a dashed
// amber one. Both line colours have a zero component, which neither the
// scene nor the box ever has, so they can be told apart in a screenshot.
void DrawOverlay(const glfwdemo::FrameGraph& graph, int width, int height) {
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
  for (const glfwdemo::Point& point : graph.frameTimes) glVertex2f(point.x, point.y);
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

void DrawFrame(double t, const glfwdemo::FrameGraph& graph, GLFWwindow* window) {
  int width = 0;
  int height = 0;
  glfwGetFramebufferSize(window, &width, &height);
  glViewport(0, 0, width, height);
  DrawScene(t);
  DrawOverlay(graph, width, height);
}

// Reads the back buffer into a binary PPM, top row first (OpenGL's rows
// start at the bottom). Returns an error line, empty on success.
std::string WriteScreenshot(const std::string& path, GLFWwindow* window) {
  int width = 0;
  int height = 0;
  glfwGetFramebufferSize(window, &width, &height);
  const auto row = static_cast<std::size_t>(width) * 3;
  std::vector<unsigned char> pixels(row * static_cast<std::size_t>(height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return "cannot write " + path;
  bool ok = std::fprintf(file, "P6\n%d %d\n255\n", width, height) > 0;
  for (int y = height - 1; y >= 0 && ok; --y)
    ok = std::fwrite(pixels.data() + row * static_cast<std::size_t>(y), 1, row, file) == row;
  ok = std::fclose(file) == 0 && ok;
  return ok ? std::string() : "cannot write " + path;
}

double Mean(const std::vector<float>& samples) {
  double sum = 0.0;
  for (const float sample : samples) sum += sample;
  return samples.empty() ? 0.0 : sum / static_cast<double>(samples.size());
}

int Run(const Options& options) {
  glfwSetErrorCallback(OnGlfwError);
  if (!glfwInit()) return 1;
  GLFWwindow* window = glfwCreateWindow(480, 360, "ZelTimers: CZelFrameRate", nullptr, nullptr);
  if (window == nullptr) {
    glfwTerminate();
    return 1;
  }
  glfwMakeContextCurrent(window);
  // Paced runs set their own deadlines. Some servers (Xvfb) ignore the swap
  // interval: there only --fps limits the rate.
  glfwSwapInterval(options.fps < 0.0 ? 1 : 0);
  // With no target of its own the graph marks 60 fps, a common display rate.
  const double targetMs = 1000.0 / (options.fps > 0.0 ? options.fps : 60.0);

  CZelFrameRate meter(kHistory);
  const double expected = (options.fps > 0.0 ? options.fps : 1000.0) * (options.seconds + 1.0);
  zel_analysis::FrameRecorder recorder(
      options.capture.empty() ? 0 : static_cast<std::size_t>(expected));
  framedemo::Pacer pacer(options.fps > 0.0 ? options.fps : 0.0,
                         static_cast<std::size_t>(options.fps > 0.0 ? expected : 0.0));
  glfwdemo::FrameGraph graph;
  CZelWallTimer run;
  run.Start();
  long frames = 0;
  double nextReport = 1.0;
  double t = 0.0;
  while (!glfwWindowShouldClose(window)) {
    const double now = run.Elapsed(CZelTimer::eSeconds);
    if (options.seconds > 0.0 && now >= options.seconds) break;
    t = now;

    meter.FrameDrawStartNotice();
    recorder.FrameDrawStartNotice();
    graph = glfwdemo::LayOutFrameGraph(meter.GetSwapHistory(), targetMs, kHistory, kGraphWidth,
                                       kGraphHeight);
    DrawFrame(t, graph, window);
    // The GL calls only queue the work; without this it would be done, and
    // timed, in the swap instead of the draw.
    glFinish();
    meter.FrameDrawEndNotice();
    recorder.FrameDrawEndNotice();
    pacer.Wait();
    glfwSwapBuffers(window);
    meter.SwapCallNotice();
    recorder.SwapCallNotice();
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
  const double runSeconds = run.Elapsed(CZelTimer::eSeconds);
  const float fps = meter.GetFrameRate();
  std::string shotError;
  if (!options.screenshot.empty()) {
    // The last frame once more, into the back buffer, which is defined
    // until the next swap.
    DrawFrame(t, graph, window);
    shotError = WriteScreenshot(options.screenshot, window);
  }
  glfwDestroyWindow(window);
  glfwTerminate();

  std::printf("run time: %s\nframes: %ld\nframe rate: %.1f fps\n", runTime.c_str(), frames, fps);
  if (options.fps > 0.0)
    std::printf("%s\n", framedemo::PacingLine(pacer.Report(), runSeconds).c_str());
  int status = fps > 0.0f ? 0 : 1;
  if (!options.screenshot.empty()) {
    if (shotError.empty()) std::printf("screenshot: %s\n", options.screenshot.c_str());
  }
  if (!options.capture.empty()) {
    zel_analysis::CaptureFormat format = zel_analysis::CaptureFormat::kPresentMon;
    zel_analysis::FormatFromName(options.format, format);
    const zel_analysis::Capture capture{kProgram, recorder.Frames()};
    const std::string error = zel_analysis::WriteCaptureFile(options.capture, capture, format);
    if (error.empty()) {
      std::printf("capture: %zu frames in %s (%s)\n", capture.frames.size(),
                  options.capture.c_str(), options.format.c_str());
    } else {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      status = 1;
    }
  }
  if (!shotError.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, shotError.c_str());
    status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool help = false;
  const std::string error = ParseOptions(argc, argv, options, help);
  if (!error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return 2;
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return Run(options);
}
