// ZelTimers analysis: FrameRecorder, which takes a capture of a render loop.
#ifndef ZELANALYSIS_FRAMERECORDER_H
#define ZELANALYSIS_FRAMERECORDER_H

#include <ZelWallTimer.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Capture.h"

namespace zel_analysis {

/// Records every frame of a render loop, beside a CZelFrameRate or on its
/// own. The host calls the same three notices it gives the meter:
///
///   meter.FrameDrawStartNotice();  recorder.FrameDrawStartNotice();
///   draw();
///   meter.FrameDrawEndNotice();    recorder.FrameDrawEndNotice();
///   swap();
///   meter.SwapCallNotice();        recorder.SwapCallNotice();
///
/// Each notice makes exactly one counter read, on a CZelWallTimer started
/// when the recorder is made. As with the meter, the first swap only starts
/// the capture: each later swap records one frame, with its time since that
/// first swap, the interval since the previous swap and the draw time
/// measured since then (the last draw start to draw end; 0 if no draw was
/// noticed).
///
/// Times are the timer's readings, whole nanoseconds truncated as the
/// timer truncates them, carried over exactly for captures up to 24 days
/// long (its double seconds hold every nanosecond up to 2^21 s). Frames go
/// into a buffer sized up front; while they fit, notices allocate nothing.
/// Beyond it the buffer grows by doubling.
class FrameRecorder {
public:
  /// Room for `frames` frames before any allocation.
  explicit FrameRecorder(std::size_t frames = 0);

  void FrameDrawStartNotice();
  void FrameDrawEndNotice();
  void SwapCallNotice();

  /// The frames recorded so far, oldest first.
  const std::vector<Frame>& Frames() const { return m_Frames; }

private:
  std::int64_t Now();

  CZelWallTimer m_Clock;
  std::vector<Frame> m_Frames;
  bool m_Started = false;
  std::int64_t m_FirstSwap = 0;
  std::int64_t m_LastSwap = 0;
  std::int64_t m_DrawStart = 0;
  std::int64_t m_Draw = 0;
};

}  // namespace zel_analysis

#endif
