// Stores one session in a new SQLite file (argv[1]) and reads the fleet
// back, through the installed fleet store.
#include <ZelFleet/FleetStore.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::string error;
  auto store = zel_fleet::OpenFleetStore(argv[1], error);
  if (store == nullptr) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  zel_fleet::Session session{
      zel_analysis::SummaryOf({16000000, 17000000, 15000000}, error), "three frames", {}};
  zel_analysis::FleetStats stats;
  error = store->StoreBatch({session}, nullptr);
  if (error.empty()) error = store->Fleet("", "", stats);
  if (!error.empty() || stats.frames != 3) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  std::printf("fleet store: 3 frames at %.1f fps\n", stats.averageFps);
  return 0;
}
