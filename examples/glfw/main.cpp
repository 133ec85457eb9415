// zel-glfwdemo: meters a real OpenGL render loop. Each frame clears the
// window, draws a spinning triangle with OpenGL 1.x calls (so no loader
// library is needed) and, over it in the top left corner, the meter's
// figures and recent frame times (overlay.h), between the meter's draw
// notices; the swap notice follows glfwSwapBuffers.
//
//   zel-glfwdemo [seconds] [--fps N] [--capture FILE [--format NAME]]
//                [--screenshot FILE] [--size WxH] [--hitch-every N]
//                                           (--help explains them)
#include <GLFW/glfw3.h>
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelTimers.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "overlay.h"
#include "pacer.h"

namespace {

constexpr const char* kProgram = "zel-glfwdemo";
constexpr int kHistory = 240;  // swap intervals the meter keeps, and the overlay shows
constexpr int kHitchMs = 100;  // how much longer a --hitch-every frame draws

struct Options {
  double seconds = 0.0;  // 0: until the window is closed
  double fps = -1.0;     // below 0: the swap interval paces; 0: uncapped
  std::string capture;   // file for every frame; empty for none
  std::string format = "presentmon";
  std::string screenshot;  // PPM file of the last frame; empty for none
  int width = 640;         // the window's size, in screen coordinates
  int height = 480;
  long hitchEvery = 0;  // every this many frames one draws kHitchMs longer; 0: none
};

const char* const kUsage =
    "Usage: zel-glfwdemo [seconds] [options]\n"
    "Draws a spinning triangle in a GLFW window, meters every frame with\n"
    "CZelFrameRate and prints the frame rate once a second. A panel in the top\n"
    "left corner shows the frame rate, frame and draw times, and a graph of the\n"
    "last 240 frame times against a dashed line at the target frame time\n"
    "(60 fps when there is no --fps target). Runs for `seconds`, or until the\n"
    "window is closed.\n"
    "\n"
    "  --fps N            pace to N frames per second against absolute deadlines,\n"
    "                     0 for uncapped (default: the swap interval, 1)\n"
    "  --capture FILE     write every frame to FILE at exit (see --format)\n"
    "  --format NAME      the capture's format: presentmon (default), mangohud\n"
    "                     or zel\n"
    "  --screenshot FILE  at exit, write the last frame to FILE as a binary PPM\n"
    "  --size WxH         the window's size (default 640x480)\n"
    "  --hitch-every N    make every Nth frame draw 100 ms longer, a hitch\n"
    "  --help             print this text and exit\n"
    "\n"
    "Exit status: 0 on success, 1 if a file could not be written or no frame\n"
    "rate was measured, 2 for a bad argument.\n";

bool ReadNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

// "640x480": both sides whole numbers from 64 to 8192.
bool ReadSize(const std::string& text, int& width, int& height) {
  const std::size_t x = text.find('x');
  double w = 0.0;
  double h = 0.0;
  if (x == std::string::npos || !ReadNumber(text.substr(0, x).c_str(), w) ||
      !ReadNumber(text.substr(x + 1).c_str(), h))
    return false;
  const auto fits = [](double side) {
    return side >= 64.0 && side <= 8192.0 && side == std::floor(side);
  };
  if (!fits(w) || !fits(h)) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
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
    if (name != "--fps" && name != "--capture" && name != "--format" && name != "--screenshot" &&
        name != "--size" && name != "--hitch-every")
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
    } else if (name == "--size") {
      if (!ReadSize(value, options.width, options.height))
        return "invalid value '" + value + "' for --size: expected WxH, each 64 to 8192";
    } else if (name == "--hitch-every") {
      double every = 0.0;
      if (!ReadNumber(value.c_str(), every) || every < 1.0 || every > 1e6 ||
          every != std::floor(every))
        return "invalid value '" + value + "' for --hitch-every: expected 1 to 1000000 frames";
      options.hitchEvery = static_cast<long>(every);
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

// A hitch draws kHitchMs longer, as a stall in the game's own work would.
void DrawFrame(double t, glfwdemo::Overlay& overlay, CZelFrameRate& meter, GLFWwindow* window,
               bool hitch) {
  int width = 0;
  int height = 0;
  glfwGetFramebufferSize(window, &width, &height);
  glViewport(0, 0, width, height);
  DrawScene(t);
  if (hitch) std::this_thread::sleep_for(std::chrono::milliseconds(kHitchMs));
  overlay.Draw(meter, width, height);
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
  GLFWwindow* window =
      glfwCreateWindow(options.width, options.height, "ZelTimers: CZelFrameRate", nullptr, nullptr);
  if (window == nullptr) {
    glfwTerminate();
    return 1;
  }
  glfwMakeContextCurrent(window);
  // Paced runs set their own deadlines. Some servers (Xvfb) ignore the swap
  // interval: there only --fps limits the rate.
  glfwSwapInterval(options.fps < 0.0 ? 1 : 0);
  // With no target of its own the overlay marks 60 fps, a common display
  // rate; uncapped runs mark none.
  const double targetFps = options.fps > 0.0 ? options.fps : options.fps < 0.0 ? 60.0 : 0.0;

  CZelFrameRate meter(kHistory);
  const double expected = (options.fps > 0.0 ? options.fps : 1000.0) * (options.seconds + 1.0);
  zel_analysis::FrameRecorder recorder(
      options.capture.empty() ? 0 : static_cast<std::size_t>(expected));
  framedemo::Pacer pacer(options.fps > 0.0 ? options.fps : 0.0,
                         static_cast<std::size_t>(options.fps > 0.0 ? expected : 0.0));
  auto overlay = std::make_unique<glfwdemo::Overlay>(window, targetFps);
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
    DrawFrame(t, *overlay, meter, window,
              options.hitchEvery > 0 && frames % options.hitchEvery == options.hitchEvery - 1);
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
    DrawFrame(t, *overlay, meter, window, false);
    shotError = WriteScreenshot(options.screenshot, window);
  }
  overlay.reset();
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
