#include "options.h"

#include <ZelAnalysis/Capture.h>

#include <cmath>
#include <locale>
#include <sstream>

namespace framedemo {
namespace {

struct NumberOption {
  const char* name;
  double min;
  double max;
  bool integer;
  const char* expected;  // for the error message
};

const NumberOption kNumberOptions[] = {
    {"--fps", 0.0, 1000.0, false, "a number of frames per second from 0 (uncapped) to 1000"},
    {"--duration", 0.01, 86400.0, false, "a number of seconds from 0.01 to 86400"},
    {"--history", 1.0, 1000000.0, true, "a whole number of frames from 1 to 1000000"},
    {"--load", 0.0, 1000.0, false, "a number of milliseconds from 0 to 1000"},
};

bool ReadNumber(const std::string& text, double& value) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  in >> std::noskipws >> value;
  return !text.empty() && !in.fail() && in.peek() == std::char_traits<char>::eof() &&
         std::isfinite(value);
}

void Store(Options& options, const std::string& name, double value) {
  if (name == "--fps") options.fps = value;
  if (name == "--duration") options.duration = value;
  if (name == "--history") options.history = static_cast<int>(value);
  if (name == "--load") options.extraLoad = value;
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& args) {
  ParseResult result;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      result.help = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--capture" || name == "--format" || name == "--wait") {
      std::string text;
      if (equals != std::string::npos) {
        text = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        text = args[++i];
      }
      zel_analysis::CaptureFormat format;
      if (name == "--capture" && !text.empty()) {
        result.options.capture = text;
      } else if (name == "--format" && zel_analysis::FormatFromName(text, format)) {
        result.options.format = text;
      } else if (name == "--wait" && (text == "pacer" || text == "sleep")) {
        result.options.plainSleep = text == "sleep";
      } else if (name == "--wait") {
        result.error = "invalid value '" + text + "' for --wait: expected pacer or sleep";
        return result;
      } else {
        result.error =
            name == "--capture"
                ? "option --capture needs a file name"
                : "invalid value '" + text + "' for --format: expected presentmon, mangohud or zel";
        return result;
      }
      continue;
    }
    const NumberOption* option = nullptr;
    for (const NumberOption& candidate : kNumberOptions) {
      if (name == candidate.name) option = &candidate;
    }
    if (option == nullptr) {
      result.error = "unknown option '" + arg + "' (see --help)";
      return result;
    }
    std::string text;
    if (equals != std::string::npos) {
      text = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      text = args[++i];
    } else {
      result.error = "option ";
      result.error += name;
      result.error += " needs a value: ";
      result.error += option->expected;
      return result;
    }
    double value = 0.0;
    if (!ReadNumber(text, value) || value < option->min || value > option->max ||
        (option->integer && value != std::floor(value))) {
      result.error = "invalid value '";
      result.error += text;
      result.error += "' for ";
      result.error += name;
      result.error += ": expected ";
      result.error += option->expected;
      return result;
    }
    Store(result.options, name, value);
  }
  return result;
}

std::string Usage(const std::string& program) {
  return "Usage: " + program +
         " [options]\n"
         "Draws a small animated scene in a loop, meters every frame with\n"
         "CZelFrameRate and prints what it measured about once a second.\n"
         "\n"
         "  --fps N        target frame rate, 0 for uncapped (default 60)\n"
         "  --duration S   seconds to run (default 3)\n"
         "  --history N    swap intervals the meter keeps; it keeps 4 x N\n"
         "                 draw times (default 120)\n"
         "  --load MS      extra busy work per draw, in milliseconds (default 0)\n"
         "  --capture FILE write every frame to FILE, a capture that frame-time\n"
         "                 tools read (see --format)\n"
         "  --format NAME  the capture's format: presentmon (default), mangohud\n"
         "                 or zel\n"
         "  --wait NAME    how frames wait for their deadline: pacer (default, the\n"
         "                 FramePacer) or sleep (a plain sleep to each deadline,\n"
         "                 to compare with)\n"
         "  --help         print this text and exit\n"
         "\n"
         "On a terminal the scene animates in place; otherwise only the\n"
         "status lines and the summary are printed. Ctrl-C ends the run early.\n"
         "Exit status: 0 on success, 2 for a bad option.\n";
}

}  // namespace framedemo
