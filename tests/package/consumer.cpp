// Uses every class once, the analysis library's recorder and readers, and
// the frame pacer, through the installed headers and libraries.
#include <ZelAnalysis/Capture.h>
#include <ZelAnalysis/FrameRecorder.h>
#include <ZelPacing/FramePacer.h>
#include <ZelTimers.h>

#include <cstdio>
#include <sstream>

int main() {
  CZelFrameRate meter(8);
  zel_analysis::FrameRecorder recorder(8);
  for (int frame = 0; frame < 4; ++frame) {
    meter.FrameDrawStartNotice();
    meter.FrameDrawEndNotice();
    meter.SwapCallNotice();
    recorder.SwapCallNotice();
  }
  std::stringstream file;
  zel_analysis::WriteCapture(file, {"consumer", recorder.Frames()},
                             zel_analysis::CaptureFormat::kZel);
  zel_pacing::FramePacer pacer(1000.0);
  pacer.Wait();
  const zel_pacing::PaceResult paced = pacer.Wait();
  CZelWallTimer timer;
  timer.Set(90.0);
  const bool ok = meter.GetBufferCount() == 4 &&
                  timer.Report(CZelTimer::eAutomatic) == "1.5 minutes" &&
                  CZelTimeValue(0.5).Get() == 0.5 &&
                  zel_analysis::ReadCapture(file, "memory").capture.frames.size() == 3 &&
                  paced.returnedNs >= paced.deadlineNs && pacer.PeriodNs() == 1000000;
  std::printf("consumer %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
