// Writes one run of frames twice, as a PresentMon 1.x CSV and as a MangoHud
// log, at any length, for timing the readers on captures of the size people
// bring:
//
//   zeltimers_capture_gen FRAMES OUT.csv OUT-mangohud.csv
//
// The run is a game at about 120 fps: frame times with a little jitter,
// slower stretches now and then (a busy scene), a hitch of 30 to 80 ms every
// few thousand frames and a 600 ms shader compile every few hundred
// thousand. The columns that are not frame times get plausible values too,
// so that rows are as long and as varied as real ones. The same seed gives
// the same files.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

// `value` / 10^decimals in fixed notation, then `end`.
void Put(std::string& out, std::int64_t value, int decimals, char end = ',') {
  if (value < 0) {
    out += '-';
    value = -value;
  }
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 || n <= decimals);
  while (n > 0) {
    out += digits[--n];
    if (n == decimals && decimals > 0) out += '.';
  }
  out += end;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: zeltimers_capture_gen FRAMES OUT.csv OUT-mangohud.csv\n", stderr);
    return 2;
  }
  const long long frames = std::atoll(argv[1]);
  std::FILE* pm = std::fopen(argv[2], "wb");
  std::FILE* mango = std::fopen(argv[3], "wb");
  if (frames < 1 || pm == nullptr || mango == nullptr) {
    std::fputs("zeltimers_capture_gen: bad frame count or output file\n", stderr);
    return 2;
  }
  std::fputs(
      "Application,ProcessID,SwapChainAddress,Runtime,SyncInterval,PresentFlags,AllowsTearing,"
      "PresentMode,Dropped,TimeInSeconds,MsBetweenPresents,MsBetweenDisplayChange,MsInPresentAPI,"
      "MsUntilRenderComplete,MsUntilDisplayed\n",
      pm);
  std::fputs(
      "os,cpu,gpu,ram,kernel,driver,cpuscheduler\n"
      "Debian GNU/Linux 12 (bookworm),AMD Ryzen 7 5800X3D 8-Core Processor,AMD Radeon RX 6800 XT,"
      "32768000,6.1.0-18-amd64,Mesa 22.3.6,schedutil\n"
      "fps,frametime,cpu_load,gpu_load,cpu_temp,gpu_temp,gpu_core_clock,gpu_mem_clock,"
      "gpu_vram_used,gpu_power,ram_used,swap_used,process_rss,elapsed\n",
      mango);

  std::mt19937_64 random(20261206);
  std::normal_distribution<double> jitter(0.0, 0.35);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  double scene = 0.0;       // extra milliseconds of a busy stretch
  std::int64_t timeUs = 0;  // since the first present
  std::int64_t elapsedNs = 0;
  std::string pmRows, mangoRows;
  for (long long i = 0; i < frames; ++i) {
    if (unit(random) < 0.001) scene = unit(random) < 0.5 ? 0.0 : 4.0 * unit(random);
    double ms = 8.333 + scene + jitter(random);
    const double roll = unit(random);
    if (roll < 0.000005) {
      ms = 600.0 + 40.0 * unit(random);  // a shader compile
    } else if (roll < 0.0003) {
      ms = 30.0 + 50.0 * unit(random);  // a hitch
    }
    const std::int64_t us = ms < 1.0 ? 1000 : static_cast<std::int64_t>(ms * 1000.0);
    timeUs += us;
    elapsedNs += us * 1000;
    const auto small = [&](double scale) {
      return static_cast<std::int64_t>(scale * unit(random));
    };

    pmRows +=
        "Game-Win64-Shipping.exe,14520,0x0000021F3A5C9E40,DXGI,0,512,1,"
        "Hardware: Independent Flip,0,";
    Put(pmRows, timeUs, 6);
    Put(pmRows, us, 3);
    Put(pmRows, us + small(300) - 150, 3);
    Put(pmRows, 60 + small(400), 3);
    Put(pmRows, us / 2 + small(2000), 3);
    Put(pmRows, us + 4000 + small(3000), 3, '\n');

    Put(mangoRows, 10000000000 / us, 4);  // fps, 1000 / frametime
    Put(mangoRows, us, 3);
    Put(mangoRows, 30 + small(40), 0);
    Put(mangoRows, 85 + small(15), 0);
    Put(mangoRows, 62 + small(8), 0);
    Put(mangoRows, 70 + small(6), 0);
    mangoRows += "2450,1000,";
    Put(mangoRows, 6100 + small(500), 3);
    Put(mangoRows, 240 + small(60), 0);
    Put(mangoRows, 11500 + small(400), 3);
    mangoRows += "0.000,";
    Put(mangoRows, 5200 + small(200), 3);
    Put(mangoRows, elapsedNs, 0, '\n');
    if (pmRows.size() > (1 << 20)) {
      std::fwrite(pmRows.data(), 1, pmRows.size(), pm);
      std::fwrite(mangoRows.data(), 1, mangoRows.size(), mango);
      pmRows.clear();
      mangoRows.clear();
    }
  }
  std::fwrite(pmRows.data(), 1, pmRows.size(), pm);
  std::fwrite(mangoRows.data(), 1, mangoRows.size(), mango);
  const bool written = std::fclose(pm) == 0 && std::fclose(mango) == 0;
  if (!written) std::fputs("zeltimers_capture_gen: cannot write the files\n", stderr);
  return written ? 0 : 1;
}
