// zel-framestats: the frame statistics of capture files, side by side, as a
// table, as JSON, or as a picture; their mergeable summaries, stored in a
// database, and a fleet's statistics computed there.
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FramePlot.h>
#include <ZelAnalysis/FrameStats.h>
#include <ZelAnalysis/FrameSummary.h>
#include <ZelAnalysis/SummaryJson.h>
#include <ZelAnalysis/Text.h>
#if ZELTIMERS_FRAMESTATS_FLEET
#include <ZelFleet/FleetStore.h>
#endif

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <fstream>
#include <ios>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace zel_analysis;

constexpr const char* kProgram = "zel-framestats";

constexpr const char* kUsage =
    "Usage: zel-framestats [--json] [--svg OUT.svg] FILE...\n"
    "       zel-framestats --summary OUT.json FILE\n"
    "       zel-framestats --db TARGET [--tag KEY=VALUE]... FILE...\n"
    "       zel-framestats --db TARGET --fleet [--json] [--tag KEY=VALUE]\n"
    "Prints the frame statistics of each capture (PresentMon CSV, MangoHud log or\n"
    "ZelTimers capture). The files are numbered, in a key of their paths and\n"
    "applications; the table then shows one column per file and one row per\n"
    "figure while that fits in 100 characters, and otherwise one row per file\n"
    "and one column per figure, in blocks no wider than 100 characters.\n"
    "  --json         print them as JSON instead\n"
    "  --svg OUT.svg  also draw frame times and histograms into OUT.svg\n"
    "                 (written before anything is printed)\n"
    "A figure marked * had fewer frames than it needs.\n"
    "  --summary OUT.json  write the capture's mergeable summary, as OTLP JSON\n"
    "  --db TARGET    an SQLite file (made on first use) or a postgresql:// URL:\n"
    "                 store each capture or summary FILE as one session, all in\n"
    "                 one transaction (a session stored before is skipped), with\n"
    "                 its application, file name and each --tag\n"
    "  --fleet        print the statistics of every session in TARGET, or of\n"
    "                 those with the --tag, computed by the database\n";

struct Arguments {
  std::vector<std::string> files;
  std::string svg;
  std::string summary;
  std::string db;
  std::vector<std::pair<std::string, std::string>> tags;
  bool fleet = false;
  bool json = false;
  bool help = false;
  std::string error;
};

// "--name VALUE" or "--name=VALUE"; empty (with an error) when it lacks one.
std::string OptionValue(const std::vector<std::string>& args, std::size_t& i,
                        const std::string& name, std::string& error) {
  const std::string& arg = args[i];
  std::string value =
      arg == name ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(name.size() + 1);
  if (value.empty()) error = "option " + name + " needs a value";
  return value;
}

bool IsOption(const std::string& arg, const std::string& name) {
  return arg == name || arg.rfind(name + "=", 0) == 0;
}

Arguments Parse(const std::vector<std::string>& args) {
  Arguments parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
    } else if (arg == "--json") {
      parsed.json = true;
    } else if (arg == "--fleet") {
      parsed.fleet = true;
    } else if (IsOption(arg, "--svg")) {
      parsed.svg = OptionValue(args, i, "--svg", parsed.error);
    } else if (IsOption(arg, "--summary")) {
      parsed.summary = OptionValue(args, i, "--summary", parsed.error);
    } else if (IsOption(arg, "--db")) {
      parsed.db = OptionValue(args, i, "--db", parsed.error);
    } else if (IsOption(arg, "--tag")) {
      const std::string tag = OptionValue(args, i, "--tag", parsed.error);
      const std::size_t equals = tag.find('=');
      if (parsed.error.empty() && (equals == 0 || equals == std::string::npos))
        parsed.error = "--tag takes KEY=VALUE, not '" + tag + "'";
      parsed.tags.emplace_back(tag.substr(0, equals),
                               equals == std::string::npos ? "" : tag.substr(equals + 1));
    } else if (arg.size() > 1 && arg[0] == '-') {
      parsed.error = "unknown option '" + arg + "' (see --help)";
    } else {
      parsed.files.push_back(arg);
    }
    if (!parsed.error.empty()) return parsed;
  }
  if (parsed.help) return parsed;
  const bool tableOptions = parsed.json || !parsed.svg.empty();
  if (parsed.fleet) {
    if (parsed.db.empty())
      parsed.error = "--fleet needs --db TARGET";
    else if (!parsed.files.empty())
      parsed.error = "--fleet reads the database, not files";
    else if (parsed.tags.size() > 1)
      parsed.error = "--fleet takes one --tag at a time";
    else if (!parsed.svg.empty() || !parsed.summary.empty())
      parsed.error = "--fleet prints a table or JSON only";
    return parsed;
  }
  if (parsed.files.empty()) {
    parsed.error = "no capture files (see --help)";
  } else if (!parsed.summary.empty() &&
             (parsed.files.size() != 1 || tableOptions || !parsed.db.empty())) {
    parsed.error = "--summary takes one capture file and no other option";
  } else if (!parsed.db.empty() && tableOptions) {
    parsed.error = "--db stores files; --json and --svg are for reading them";
  } else if (!parsed.tags.empty() && parsed.db.empty()) {
    parsed.error = "--tag goes with --db";
  }
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

// Strict readers take only UTF-8: bytes that are not become U+FFFD.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : ValidUtf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
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

// Columns a valid UTF-8 text takes on a terminal, one per code point.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A table's lines stay this narrow: wider tables are cut into blocks of
// columns, each repeating the first.
constexpr std::size_t kTableWidth = 100;

// Rows of cells, the first row the header and the first cell of each row
// its name: the first column left-aligned, the others right-aligned.
using Grid = std::vector<std::vector<std::string>>;

std::vector<std::size_t> Widths(const Grid& grid) {
  std::vector<std::size_t> widths(grid[0].size(), 0);
  for (const auto& row : grid)
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
  return widths;
}

std::string Layout(const Grid& grid) {
  const std::vector<std::size_t> widths = Widths(grid);
  std::string out;
  for (std::size_t first = 1; first < widths.size();) {
    std::size_t last = first;  // at least one column per block
    std::size_t width = widths[0] + 3 + widths[first];
    while (last + 1 < widths.size() && width + 3 + widths[last + 1] <= kTableWidth)
      width += 3 + widths[++last];
    if (first > 1) out += '\n';
    for (const auto& row : grid) {
      std::string line = row[0] + std::string(widths[0] - Width(row[0]), ' ');
      for (std::size_t i = first; i <= last; ++i)
        line += std::string(widths[i] - Width(row[i]) + 3, ' ') + row[i];
      out += line.substr(0, line.find_last_not_of(' ') + 1) + '\n';
    }
    first = last + 1;
  }
  return out;
}

// Short headers for the table of one row per file; the line after it says
// what they stand for.
constexpr const char* kShortHeaders[][2] = {{"frames", "frames"},
                                            {"duration_s", "seconds"},
                                            {"average_fps", "fps"},
                                            {"mean_ms", "mean"},
                                            {"p50_ms", "p50"},
                                            {"p90_ms", "p90"},
                                            {"p95_ms", "p95"},
                                            {"p99_ms", "p99"},
                                            {"p99_9_ms", "p99.9"},
                                            {"low_1_percentile_fps", "1%:pct"},
                                            {"low_1_low_average_fps", "1%:avg"},
                                            {"low_1_integral_fps", "1%:int"},
                                            {"low_0_1_percentile_fps", "0.1%:pct"},
                                            {"low_0_1_low_average_fps", "0.1%:avg"},
                                            {"low_0_1_integral_fps", "0.1%:int"},
                                            {"stutters", "stutters"},
                                            {"stutter_time_percent", "stutter%"},
                                            {"jitter_mean_ms", "jitter"},
                                            {"jitter_p99_ms", "jitter p99"}};

std::string ShortHeader(const std::string& key) {
  for (const auto& header : kShortHeaders)
    if (key == header[0]) return header[1];
  return key;
}

// Files are numbered, with their paths in a key above the figures. While
// the files fit side by side, each is a column under its number and each
// figure a row; beyond that, each file is a row and each figure a column.
void PrintTable(const std::vector<Column>& columns) {
  Grid key;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    key.push_back({std::to_string(c + 1), Printable(columns[c].path),
                   Printable(columns[c].file.capture.application)});
  }
  const std::vector<std::size_t> keyWidths = Widths(key);
  std::string out;
  for (const auto& row : key) {
    const std::string line = std::string(keyWidths[0] - Width(row[0]), ' ') + row[0] + "  " +
                             row[1] + std::string(keyWidths[1] - Width(row[1]) + 2, ' ') + row[2];
    out += line.substr(0, line.find_last_not_of(' ') + 1) + '\n';
  }
  out += '\n';

  bool anyFew = false;
  std::vector<std::vector<NamedFigure>> figures;
  figures.reserve(columns.size());
  for (const Column& column : columns) figures.push_back(Figures(column.stats));
  const auto cell = [&](const NamedFigure& figure) {
    anyFew = anyFew || figure.fewFrames;
    return Fixed(figure.value, Decimals(figure.key)) + (figure.fewFrames ? "*" : "");
  };
  Grid byFigure = {{""}};
  for (std::size_t c = 0; c < columns.size(); ++c) byFigure[0].push_back(std::to_string(c + 1));
  for (std::size_t f = 0; f < figures[0].size(); ++f) {
    byFigure.push_back({figures[0][f].label});
    for (const std::vector<NamedFigure>& named : figures) byFigure.back().push_back(cell(named[f]));
  }
  std::size_t width = 0;
  for (const std::size_t w : Widths(byFigure)) width += w + 3;
  if (width - 3 <= kTableWidth) {
    out += Layout(byFigure);
  } else {
    Grid byFile = {{"#"}};
    for (const NamedFigure& figure : figures[0]) byFile[0].push_back(ShortHeader(figure.key));
    for (std::size_t c = 0; c < columns.size(); ++c) {
      byFile.push_back({std::to_string(c + 1)});
      for (const NamedFigure& figure : figures[c]) byFile.back().push_back(cell(figure));
    }
    out += Layout(byFile);
    out +=
        "seconds: the frames' sum; fps: average rate; mean to p99.9 and jitter: ms;\n"
        "1% and 0.1% lows: fps, by percentile (pct), low average (avg) and integral (int)\n";
  }
  for (const Column& column : columns)
    if (!column.file.note.empty())
      out += "note: " + Printable(column.path) + ": " + Printable(column.file.note) + '\n';
  if (anyFew) {
    out +=
        "* fewer frames than the figure needs: 10 for p90, 20 for p95, 100 for p99, 1% lows,\n"
        "  101 for the jitter's p99, 1000 for p99.9 and the 0.1% lows\n";
  }
  std::fputs(out.c_str(), stdout);
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

// A capture's summary, or a summary file's, with what names its session.
struct SessionFile {
  SummaryDocument document;
  std::string error;  // one line naming the file
};

SessionFile ReadSession(const std::string& path) {
  SessionFile session;
  std::ifstream in(path, std::ios::binary);
  char first = 0;
  while (in.get(first) && (first == ' ' || first == '\t' || first == '\n' || first == '\r')) {
  }
  if (in && first == '{') {
    std::ostringstream text;
    text << first << in.rdbuf();
    const std::string error = SummaryFromJson(text.str(), session.document);
    if (!error.empty()) session.error = path + ": " + error;
    return session;
  }
  CaptureFile file;
  std::vector<std::int64_t> frameNs;
  try {
    frameNs = ReadFrameTimesFile(path, file);
  } catch (const std::ios::failure&) {
    throw std::runtime_error(Printable(path) + ": a read error");  // exit status 1
  }
  if (!file.error.empty()) {
    session.error = file.error;
    return session;
  }
  std::string error;
  session.document.summary = SummaryOf(frameNs, error);
  session.document.application = file.capture.application;
  if (!error.empty()) session.error = path + ": " + error;
  return session;
}

int WriteSummary(const Arguments& args) {
  SessionFile session = ReadSession(args.files[0]);
  if (!session.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, session.error.c_str());
    return 2;
  }
  // The session ends when it is summarised, and began its frames' time before.
  const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  if (session.document.endUnixNs == 0 && now > session.document.summary.totalNs) {
    session.document.endUnixNs = static_cast<std::uint64_t>(now);
    session.document.startUnixNs =
        static_cast<std::uint64_t>(now - session.document.summary.totalNs);
  }
  std::ofstream out(args.summary, std::ios::binary);
  out << SummaryToJson(session.document);
  out.close();
  if (!out) {
    std::fprintf(stderr, "%s: %s: cannot be written\n", kProgram, Printable(args.summary).c_str());
    return 1;
  }
  return 0;
}

#if ZELTIMERS_FRAMESTATS_FLEET
void PrintFleet(const FleetStats& stats, const Arguments& args) {
  const std::vector<NamedFigure> figures = Figures(stats);
  std::string few;
  if (args.json) {
    std::string out = R"({"fleet": {"tag": )";
    out += args.tags.empty() ? "null" : JsonString(args.tags[0].first + "=" + args.tags[0].second);
    for (const NamedFigure& figure : figures) {
      out += ",\n   " + JsonString(figure.key) + ": " + JsonNumber(figure.value);
      if (figure.fewFrames) few += (few.empty() ? "" : ", ") + JsonString(figure.key);
    }
    std::fputs((out + ",\n   \"few_frames\": [" + few + "]}}\n").c_str(), stdout);
    return;
  }
  Grid grid = {{"", args.tags.empty() ? "fleet"
                                      : Printable(args.tags[0].first + "=" + args.tags[0].second)}};
  for (const NamedFigure& figure : figures) {
    const std::string key = figure.key;
    const std::string value = std::isnan(figure.value) ? "n/a"
                              : key == "error_bound"   ? Fixed(100 * figure.value, 3) + " %"
                                                       : Fixed(figure.value, Decimals(key));
    grid.push_back({figure.label, value + (figure.fewFrames ? "*" : "")});
    if (figure.fewFrames) few = "*";
  }
  std::string out = Layout(grid);
  out += "p50 to the 0.1% lows come from the buckets, within the error bound of the exact figure\n";
  if (!few.empty()) out += "* fewer frames than the figure needs\n";
  std::fputs(out.c_str(), stdout);
}

// Reads and summarises files in order on a thread of its own, at most
// kAhead sessions ahead of the one taking them. It stops at the first bad
// file (handing it on) and keeps a fault of its own (an exception) for
// Finish to throw.
class SessionReader {
public:
  explicit SessionReader(const std::vector<std::string>& paths)
      : paths_(paths), thread_([this] { Run(); }) {}
  ~SessionReader() { Stop(); }

  /// The next file's session, in order; false when there is none left. After
  /// a fault, a session with an error, so that the batch stops.
  bool Next(std::string& path, SessionFile& file) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !ready_.empty() || ended_; });
    if (ready_.empty() && fault_) {
      file.error = "reading stopped";  // not stored; Finish throws the fault
      return true;
    }
    if (ready_.empty()) return false;
    path = paths_[taken_++];
    file = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    return true;
  }

  /// Ends the thread; rethrows what stopped it early, if anything did.
  void Finish() {
    Stop();
    if (fault_) std::rethrow_exception(fault_);
  }

private:
  static constexpr std::size_t kAhead = 16;

  void Run() {
    try {
      for (const std::string& path : paths_) {
        SessionFile file = ReadSession(path);
        const bool bad = !file.error.empty();
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return ready_.size() < kAhead || stop_; });
        if (stop_) break;
        ready_.push_back(std::move(file));
        changed_.notify_all();
        if (bad) break;
      }
    } catch (...) {
      const std::lock_guard<std::mutex> lock(mutex_);
      fault_ = std::current_exception();
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }

  void Stop() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

  const std::vector<std::string>& paths_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<SessionFile> ready_;
  std::size_t taken_ = 0;
  bool stop_ = false;
  bool ended_ = false;
  std::exception_ptr fault_;
  std::thread thread_;  // last: it starts once the rest is made
};

int RunDatabase(const Arguments& args) {
  std::string error;
  const std::unique_ptr<zel_fleet::FleetStore> store = zel_fleet::OpenFleetStore(args.db, error);
  if (store == nullptr) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return 1;
  }
  if (args.fleet) {
    FleetStats stats;
    const std::string tagKey = args.tags.empty() ? "" : args.tags[0].first;
    const std::string tagValue = args.tags.empty() ? "" : args.tags[0].second;
    error = store->Fleet(tagKey, tagValue, stats);
    if (!error.empty() || !stats.error.empty()) {
      std::fprintf(stderr, "%s: %s\n", kProgram, (error.empty() ? stats.error : error).c_str());
      return error.empty() ? 2 : 1;
    }
    PrintFleet(stats, args);
    return 0;
  }
  // The files are read and summarised a few sessions ahead, on a thread of
  // their own, while the database stores the last ones.
  SessionReader reader(args.files);
  bool badInput = false;
  std::size_t count = 0;
  std::size_t skipped = 0;
  error = store->StoreFrom(
      [&](zel_fleet::Session& session, bool& done) {
        std::string path;
        SessionFile file;
        done = !reader.Next(path, file);
        if (done) return std::string();
        if (!file.error.empty()) {
          badInput = true;
          return file.error;
        }
        session = {std::move(file.document.summary), path, {}};
        session.tags.emplace_back("application", file.document.application);
        session.tags.emplace_back("file", BaseName(path));
        for (const auto& tag : args.tags) session.tags.push_back(tag);
        ++count;
        return std::string();
      },
      &skipped);
  reader.Finish();  // a fault of the reading thread's, as the machine's
  if (!error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return badInput ? 2 : 1;
  }
  const std::size_t sessions = count;
  std::printf("stored %zu sessions, %zu stored before\n", sessions - skipped, skipped);
  return 0;
}
#else
int RunDatabase(const Arguments&) {
  std::fprintf(stderr, "%s: built without SQLite: --db is not available\n", kProgram);
  return 1;
}
#endif

int Run(const Arguments& args) {
  if (!args.summary.empty()) return WriteSummary(args);
  if (!args.db.empty()) return RunDatabase(args);
  std::vector<Column> columns;
  for (const std::string& path : args.files) {
    // Only the frame times: a long capture's other values would take three
    // times the memory.
    Column column{path, {}, {}, {}};
    try {
      column.frameNs = ReadFrameTimesFile(path, column.file);
    } catch (const std::ios::failure&) {
      std::fprintf(stderr, "%s: %s: a read error\n", kProgram, Printable(path).c_str());
      return 1;
    }
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
  // The picture first: a file that cannot be written stops the run before
  // anything is printed.
  if (!args.svg.empty()) {
    std::vector<PlotInput> runs;
    runs.reserve(columns.size());
    for (Column& column : columns)
      runs.push_back({BaseName(column.path), std::move(column.frameNs), &column.stats});
    const std::string title =
        columns.size() == 1 ? "Frame times: " + columns[0].file.capture.application : "Frame times";
    std::ofstream out(args.svg, std::ios::binary);
    out << FramePlotSvg(MakeFramePlot(title, runs));
    out.close();
    if (!out) {
      std::fprintf(stderr, "%s: %s: cannot be written\n", kProgram, Printable(args.svg).c_str());
      return 1;
    }
  }
  if (args.json) {
    PrintJson(columns);
  } else {
    PrintTable(columns);
  }
  return 0;
}

// Bad input exits with status 2, the machine's faults (memory, threads,
// reading, output) with 1: one line on stderr either way.
int Main(int argc, char** argv) {
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

}  // namespace

int main(int argc, char** argv) {
  try {
    const int status = Main(argc, argv);
    if (std::fflush(stdout) == 0) return status;
    std::fprintf(stderr, "%s: the output cannot be written\n", kProgram);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory\n", kProgram);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, Printable(e.what()).c_str());
  }
  return 1;
}
