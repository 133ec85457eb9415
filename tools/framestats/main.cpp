// zel-framestats: the frame statistics of capture files, side by side, as a
// table, as JSON, or as a picture.
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FramePlot.h>
#include <ZelAnalysis/FrameStats.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace zel_analysis;

constexpr const char* kProgram = "zel-framestats";

constexpr const char* kUsage =
    "Usage: zel-framestats [--json] [--svg OUT.svg] FILE...\n"
    "Prints the frame statistics of each capture (PresentMon CSV, MangoHud log or\n"
    "ZelTimers capture), one column per file.\n"
    "  --json         print them as JSON instead\n"
    "  --svg OUT.svg  also draw frame times and histograms into OUT.svg\n"
    "A figure marked * had fewer frames than it needs.\n";

struct Arguments {
  std::vector<std::string> files;
  std::string svg;
  bool json = false;
  bool help = false;
  std::string error;
};

Arguments Parse(const std::vector<std::string>& args) {
  Arguments parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
    } else if (arg == "--json") {
      parsed.json = true;
    } else if (arg == "--svg" || arg.rfind("--svg=", 0) == 0) {
      parsed.svg = arg == "--svg" ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(6);
      if (parsed.svg.empty()) parsed.error = "option --svg needs a file name";
    } else if (arg.size() > 1 && arg[0] == '-') {
      parsed.error = "unknown option '" + arg + "' (see --help)";
    } else {
      parsed.files.push_back(arg);
    }
    if (!parsed.error.empty()) return parsed;
  }
  if (parsed.files.empty() && !parsed.help) parsed.error = "no capture files (see --help)";
  return parsed;
}

struct Column {
  std::string path;
  CaptureFile file;
  std::vector<std::int64_t> frameNs;
  FrameStats stats;
};

// Shortest text that reads back as the same double; null for what JSON
// cannot hold.
std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

void PrintJson(const std::vector<Column>& columns) {
  std::string out = "{\"files\": [";
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const Column& column = columns[c];
    out += c == 0 ? "\n  {" : ",\n  {";
    out += "\"file\": " + JsonString(column.path) +
           ", \"format\": " + JsonString(FormatName(column.file.format)) +
           ", \"application\": " + JsonString(column.file.capture.application) +
           ", \"note\": " + JsonString(column.file.note);
    std::string few;
    for (const NamedFigure& figure : Figures(column.stats)) {
      out += ",\n   " + JsonString(figure.key) + ": " + JsonNumber(figure.value);
      if (figure.fewFrames) few += (few.empty() ? "" : ", ") + JsonString(figure.key);
    }
    out += ",\n   \"few_frames\": [" + few + "],\n   \"histogram_bucket_ms\": " +
           JsonNumber(static_cast<double>(kHistogramBucketNs) / 1e6) + ",\n   \"histogram\": [";
    for (std::size_t b = 0; b < column.stats.histogram.size(); ++b)
      out += (b == 0 ? "" : ",") + std::to_string(column.stats.histogram[b]);
    out += "]}";
  }
  out += "\n]}\n";
  std::fputs(out.c_str(), stdout);
}

// `digits` decimals, with '.' whatever the locale; "inf" for a rate over no time.
std::string Fixed(double value, int digits) {
  char buffer[512];  // room for any double in fixed notation
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
  return std::string(buffer, result.ptr);
}

// Digits by unit, from the key's last part.
int Decimals(const std::string& key) {
  const std::string unit = key.substr(key.rfind('_') + 1);
  if (unit == "ms" || unit == "s") return 3;
  if (unit == "fps") return 1;
  if (unit == "percent") return 2;
  return 0;
}

void PrintTable(const std::vector<Column>& columns) {
  std::vector<std::vector<std::string>> rows = {{""}, {"application"}};
  for (const Column& column : columns) {
    rows[0].push_back(column.path);
    rows[1].push_back(column.file.capture.application);
  }
  bool anyFew = false;
  std::vector<std::vector<NamedFigure>> figures;
  figures.reserve(columns.size());
  for (const Column& column : columns) figures.push_back(Figures(column.stats));
  for (std::size_t f = 0; f < figures[0].size(); ++f) {
    std::vector<std::string> row = {figures[0][f].label};
    for (const std::vector<NamedFigure>& named : figures) {
      anyFew = anyFew || named[f].fewFrames;
      row.push_back(Fixed(named[f].value, Decimals(named[f].key)) +
                    (named[f].fewFrames ? "*" : ""));
    }
    rows.push_back(row);
  }
  std::vector<std::size_t> widths(columns.size() + 1, 0);
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i)
      line += row[i] + std::string(widths[i] - row[i].size() + (i + 1 < row.size() ? 3 : 0), ' ');
    out += line.substr(0, line.find_last_not_of(' ') + 1) + '\n';
  }
  for (const Column& column : columns)
    if (!column.file.note.empty()) out += "note: " + column.path + ": " + column.file.note + '\n';
  if (anyFew) {
    out +=
        "* fewer frames than the figure needs: 10 for p90, 20 for p95, 100 for p99 and the "
        "1% lows, 101 for the jitter's p99, 1000 for p99.9 and the 0.1% lows\n";
  }
  std::fputs(out.c_str(), stdout);
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

int Run(const Arguments& args) {
  std::vector<Column> columns;
  for (const std::string& path : args.files) {
    // Only the frame times: a long capture's other values would take three
    // times the memory.
    Column column{path, {}, {}, {}};
    column.frameNs = ReadFrameTimesFile(path, column.file);
    if (!column.file.error.empty()) {
      std::fprintf(stderr, "%s: %s\n", kProgram, column.file.error.c_str());
      return 2;
    }
    column.stats = Summarize(column.frameNs);
    if (!column.stats.error.empty()) {
      std::fprintf(stderr, "%s: %s: %s\n", kProgram, path.c_str(), column.stats.error.c_str());
      return 2;
    }
    columns.push_back(std::move(column));
  }
  if (args.json) {
    PrintJson(columns);
  } else {
    PrintTable(columns);
  }
  if (!args.svg.empty()) {
    std::vector<PlotInput> runs;
    runs.reserve(columns.size());
    for (Column& column : columns)
      runs.push_back({BaseName(column.path), std::move(column.frameNs)});
    const std::string title =
        columns.size() == 1 ? "Frame times: " + columns[0].file.capture.application : "Frame times";
    std::ofstream out(args.svg, std::ios::binary);
    out << FramePlotSvg(MakeFramePlot(title, runs));
    out.close();
    if (!out) {
      std::fprintf(stderr, "%s: %s: cannot be written\n", kProgram, args.svg.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments args = Parse(std::vector<std::string>(argv + 1, argv + argc));
  if (!args.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, args.error.c_str());
    return 2;
  }
  if (args.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return Run(args);
}
