// zel-capture: runs a program with the capture hook loaded into it and into
// every process it starts, and nothing else. All it does is set the
// environment the hook reads and run the program in its own place.
#include <ZelAnalysis/Capture.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kHook = "libzel_capture.so";
constexpr const char* kManifest = "vulkan/implicit_layer.d/VkLayer_zeltimers_capture.json";

void Usage(std::FILE* out) {
  std::fprintf(out,
               "Usage: zel-capture [OPTION]... -- PROGRAM [ARGUMENT]...\n"
               "Runs PROGRAM and records every frame it presents with OpenGL (GLX, EGL) or\n"
               "Vulkan: one capture per process and swap chain, written while it runs and\n"
               "completed when it exits.\n"
               "\n"
               "  --format NAME      zel (default), presentmon or mangohud\n"
               "  --output PATH      a folder for the captures (default: the current one;\n"
               "                     made if PATH ends in '/'), or a file, the next\n"
               "                     captures then PATH-2, PATH-3...; none replaces a file\n"
               "  --duration S       stop recording S seconds after it started\n"
               "  --start-after S    start recording S seconds after the first frame\n"
               "  --help             this text\n"
               "  --version          the version\n"
               "\n"
               "Captures are named PROGRAM_PID_YYYYMMDD-HHMMSS_N.csv, N counting the\n"
               "process's swap chains. As a game's launch option: zel-capture -- %%command%%\n"
               "Setting DISABLE_ZEL_CAPTURE=1 turns the hook off.\n");
}

bool Exists(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char here[PATH_MAX];
  if (::getcwd(here, sizeof here) == nullptr) return path;
  return std::string(here) + '/' + path;
}

// The folder of this program, from /proc.
std::string OwnFolder() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return std::string();
  const std::string path(self, static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/'));
}

bool Seconds(const char* text, double& seconds) {
  char* end = nullptr;
  seconds = std::strtod(text, &end);
  return end != text && *end == '\0' && seconds >= 0.0 && seconds <= 1e8;
}

// Puts `entry` in front of a colon-separated list, once.
void Prepend(const char* variable, const std::string& entry, const char* otherwise) {
  const char* value = std::getenv(variable);
  std::string list = value != nullptr && *value != '\0' ? value : otherwise;
  if (!list.empty())
    list = entry + ':' + list;
  else
    list = entry;
  ::setenv(variable, list.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::string format = "zel", output = ".";
  const char* duration = nullptr;
  const char* startAfter = nullptr;
  int program = argc;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--") {
      program = i + 1;
      break;
    }
    if (name == "--help") {
      Usage(stdout);
      return 0;
    }
    if (name == "--version") {
      std::printf("zel-capture %s\n", ZELTIMERS_VERSION);
      return 0;
    }
    if (name != "--format" && name != "--output" && name != "--duration" &&
        name != "--start-after") {
      std::fprintf(stderr, "zel-capture: unknown option %s (see --help)\n", argv[i]);
      return 2;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "zel-capture: %s needs a value\n", argv[i]);
      return 2;
    }
    const char* value = argv[++i];
    double seconds = 0.0;
    zel_analysis::CaptureFormat known{};
    if (name == "--format") {
      if (!zel_analysis::FormatFromName(value, known)) {
        std::fprintf(stderr, "zel-capture: unknown format %s (zel, presentmon or mangohud)\n",
                     value);
        return 2;
      }
      format = value;
    } else if (name == "--output") {
      output = value;
    } else if (!Seconds(value, seconds)) {
      std::fprintf(stderr, "zel-capture: %s takes seconds, not %s\n", argv[i - 1], value);
      return 2;
    } else {
      (name == "--duration" ? duration : startAfter) = value;
    }
  }
  if (program >= argc) {
    Usage(stderr);
    return 2;
  }

  // The hook beside this program (a build tree), or where it is installed.
  std::string folder = OwnFolder();
  if (!Exists(folder + '/' + kHook)) folder = ZELCAPTURE_HOOK_DIR;
  const std::string hook = folder + '/' + kHook;
  if (!Exists(hook)) {
    std::fprintf(stderr, "zel-capture: no hook at %s\n", hook.c_str());
    return 1;
  }

  output = Absolute(output);
  if (IsFolder(output) || output.back() == '/') {
    if (output.back() != '/') output += '/';
    if (!IsFolder(output) && ::mkdir(output.c_str(), 0755) != 0) {
      std::fprintf(stderr, "zel-capture: cannot create %s: %s\n", output.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }

  ::setenv("ZEL_CAPTURE", "1", 1);
  ::setenv("ZEL_CAPTURE_OUTPUT", output.c_str(), 1);
  ::setenv("ZEL_CAPTURE_FORMAT", format.c_str(), 1);
  // An outer zel-capture's limits do not carry over.
  if (duration != nullptr)
    ::setenv("ZEL_CAPTURE_DURATION", duration, 1);
  else
    ::unsetenv("ZEL_CAPTURE_DURATION");
  if (startAfter != nullptr)
    ::setenv("ZEL_CAPTURE_START_AFTER", startAfter, 1);
  else
    ::unsetenv("ZEL_CAPTURE_START_AFTER");
  Prepend("LD_PRELOAD", hook, "");
  // The Vulkan loader looks for implicit layers under each of these; the
  // installed manifest is under the default ones already.
  if (Exists(folder + '/' + kManifest))
    Prepend("XDG_DATA_DIRS", folder, "/usr/local/share:/usr/share");

  ::execvp(argv[program], argv + program);
  std::fprintf(stderr, "zel-capture: cannot run %s: %s\n", argv[program], std::strerror(errno));
  return 127;
}
