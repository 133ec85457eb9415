// ZelTimers analysis: FrameRecorder, which takes a capture of a render loop.
#ifndef ZELANALYSIS_FRAMERECORDER_H
#define ZELANALYSIS_FRAMERECORDER_H

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
/// Each notice makes exactly one clock reading. As with the meter, the
/// first swap only starts the capture: each later swap records one frame,
/// with its time since that first swap, the interval since the previous
/// swap and the draw time measured since then (the last draw start to draw
/// end; 0 if no draw was noticed).
///
/// The clock is std::chrono::steady_clock, read in whole nanoseconds (on
/// Linux the same CLOCK_MONOTONIC as the meter's counter, on Windows the
/// same performance counter); its readings are kept as they are, with no
/// conversion to seconds in between. Frames go into a buffer sized up
/// front: while they fit, notices allocate nothing. Beyond it the buffer
/// grows by doubling.
class FrameRecorder {
public:
  /// A clock: nanoseconds since any fixed point, never going back.
  using Clock = std::int64_t (*)();
  /// steady_clock's reading in nanoseconds.
  static std::int64_t SteadyNanoseconds();

  /// Room for `frames` frames before any allocation; `clock` is read once
  /// per notice.
  explicit FrameRecorder(std::size_t frames = 0, Clock clock = SteadyNanoseconds);

  void FrameDrawStartNotice();
  void FrameDrawEndNotice();
  void SwapCallNotice();

  /// The frames recorded so far, oldest first.
  const std::vector<Frame>& Frames() const { return m_Frames; }

  /// Hands over the frames recorded so far and starts an empty list: the
  /// next frames keep their times since the first swap. For a capture that
  /// is written out a part at a time.
  std::vector<Frame> TakeFrames();

private:
  Clock m_Clock;
  std::vector<Frame> m_Frames;
  bool m_Started = false;
  std::int64_t m_FirstSwap = 0;
  std::int64_t m_LastSwap = 0;
  std::int64_t m_DrawStart = 0;
  std::int64_t m_Draw = 0;
};

}  // namespace zel_analysis

#endif
