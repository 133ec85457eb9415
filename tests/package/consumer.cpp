// Uses every class once, and the analysis library's recorder and readers,
// through the installed headers and libraries.
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelTimers.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

int main() {
  CZelFrameRate meter(8);
  zel_analysis::FrameRecorder recorder(8);
  for (int frame = 0; frame < 4; ++frame) {
    meter.FrameDrawStartNotice();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    meter.FrameDrawEndNotice();
    meter.SwapCallNotice();
    recorder.SwapCallNotice();
  }
  std::stringstream file;
  zel_analysis::WriteCapture(file, {"consumer", recorder.Frames()},
                             zel_analysis::CaptureFormat::kPresentMon);
  CZelWallTimer timer;
  timer.Set(90.0);
  CZelTimeValue half(0.5);
  const bool ok = meter.GetFrameRate() > 0.0f && meter.GetBufferCount() == 4 &&
                  timer.Report(CZelTimer::eAutomatic) == "1.5 minutes" && half.Get() == 0.5 &&
                  zel_analysis::ReadCapture(file, "memory").capture.frames.size() == 3;
  std::printf("consumer %s: %.1f fps\n", ok ? "ok" : "FAILED", meter.GetFrameRate());
  return ok ? 0 : 1;
}
