// Uses every class once, through the installed headers and library.
#include <ZelTimers.h>

#include <chrono>
#include <cstdio>
#include <thread>

int main() {
  CZelFrameRate meter(8);
  for (int frame = 0; frame < 4; ++frame) {
    meter.FrameDrawStartNotice();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    meter.FrameDrawEndNotice();
    meter.SwapCallNotice();
  }
  CZelWallTimer timer;
  timer.Set(90.0);
  CZelTimeValue half(0.5);
  const bool ok = meter.GetFrameRate() > 0.0f && meter.GetBufferCount() == 4 &&
                  timer.Report(CZelTimer::eAutomatic) == "1.5 minutes" && half.Get() == 0.5;
  std::printf("consumer %s: %.1f fps\n", ok ? "ok" : "FAILED", meter.GetFrameRate());
  return ok ? 0 : 1;
}
