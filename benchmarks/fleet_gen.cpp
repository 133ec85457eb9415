// Writes a fleet of sessions as ZelTimers captures and prints the exact
// statistics of all their frames together, for benchmarks/fleet_speed.sh:
//
//   zeltimers_fleet_gen SESSIONS FRAMES OUTDIR > exact.json
//
// Each session is one machine running a game at 30, 60, 90 or 144 fps
// with its own jitter, slower stretches now and then and a rare hitch;
// session k is OUTDIR/session-K.csv. The same arguments give the same
// files. The JSON holds the keys of `zel-framestats --json`, over every
// frame of every session as if one capture, plus the exact shares over
// the slow-frame thresholds and the sum of the sessions' own stutters.
#include <ZelAnalysis/FrameStats.h>
#include <ZelAnalysis/FrameSummary.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: zeltimers_fleet_gen SESSIONS FRAMES OUTDIR\n");
    return 2;
  }
  const long sessions = std::atol(argv[1]);
  const long frames = std::atol(argv[2]);
  const std::string dir = argv[3];
  std::vector<std::int64_t> all;
  all.reserve(static_cast<std::size_t>(sessions) * static_cast<std::size_t>(frames));
  std::uint64_t stutters = 0;
  std::mt19937_64 random(2026);
  const double rates[] = {30, 60, 90, 144};
  for (long s = 0; s < sessions; ++s) {
    const double periodNs = 1e9 / rates[random() % 4];
    std::normal_distribution<double> jitter(
        0.0, periodNs * (0.01 + 0.04 * static_cast<double>(random() % 8) / 8.0));
    std::vector<std::int64_t> session(static_cast<std::size_t>(frames));
    double slow = 1.0;
    for (std::int64_t& ns : session) {
      if (random() % 500 == 0)
        slow = slow > 1.0 ? 1.0 : 1.3 + 0.4 * static_cast<double>(random() % 4);
      ns = static_cast<std::int64_t>(periodNs * slow + jitter(random));
      if (ns < 100000) ns = 100000;
      if (random() % 4000 == 0) ns += 30000000 + static_cast<std::int64_t>(random() % 50000000);
      if (random() % 200000 == 0) ns += 700000000;
    }
    std::string text = "zeltimers_capture,application\n1,fleet-game\ntime_ns,interval_ns,draw_ns\n";
    std::int64_t time = 0;
    char number[24] = {};
    for (const std::int64_t ns : session) {
      time += ns;
      for (const std::int64_t value : {time, ns, ns / 3}) {
        text.append(number, std::to_chars(number, number + sizeof number, value).ptr);
        text += value == ns / 3 ? '\n' : ',';
      }
    }
    const std::string path = dir + "/session-" + std::to_string(s) + ".csv";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fclose(out) != 0) {
      std::fprintf(stderr, "zeltimers_fleet_gen: %s cannot be written\n", path.c_str());
      return 1;
    }
    stutters += zel_analysis::Summarize(session).stutters;
    all.insert(all.end(), session.begin(), session.end());
  }
  const zel_analysis::FrameStats stats = zel_analysis::Summarize(all);
  if (!stats.error.empty()) {
    std::fprintf(stderr, "zeltimers_fleet_gen: %s\n", stats.error.c_str());
    return 1;
  }
  std::printf("{");
  for (const zel_analysis::NamedFigure& figure : zel_analysis::Figures(stats))
    std::printf("\"%s\": %.17g, ", figure.key, figure.value);
  constexpr std::array<const char*, zel_analysis::kSlowFrameNs.size()> overKeys = {
      "over_16_7ms_percent", "over_33_3ms_percent", "over_700ms_percent"};
  for (std::size_t i = 0; i < overKeys.size(); ++i) {
    std::uint64_t over = 0;
    for (const std::int64_t ns : all) over += ns > zel_analysis::kSlowFrameNs[i];
    std::printf("\"%s\": %.17g, ", overKeys[i],
                static_cast<double>(100 * over) / static_cast<double>(all.size()));
  }
  std::printf("\"session_stutters\": %llu}\n", static_cast<unsigned long long>(stutters));
  return 0;
}
