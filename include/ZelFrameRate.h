// ZelTimers: CZelFrameRate, a frame-rate meter for a drawing loop.
#ifndef ZELTIMERS_ZELFRAMERATE_H
#define ZELTIMERS_ZELFRAMERATE_H

#include <vector>

#include "ZelTimersExport.h"
#include "ZelWallTimer.h"

/// A frame-rate meter. The host calls FrameDrawStartNotice() and
/// FrameDrawEndNotice() around each frame's drawing and SwapCallNotice() at
/// each buffer swap. The meter keeps the most recent draw durations (in
/// milliseconds) and intervals between swaps (in seconds), oldest first, and
/// reports frames per second as the reciprocal of the mean swap interval.
///
/// History limits, applied after each append by dropping the oldest sample
/// (at most one per notice):
///  - swap history: `historyLength` samples;
///  - draw history: 4 x `historyLength` samples.
/// Both limits are the 32-bit value of the length (times 4, wrapping modulo
/// 2^32 for the draw limit) read as unsigned. The contract is a length in
/// [0, 2^30). Outside it the behaviour is defined but follows from that
/// arithmetic:
///  - 0 keeps both histories empty;
///  - a negative length never trims the swap history (it grows by one
///    sample per swap for as long as the meter lives), and the draw limit is
///    (4 x length) mod 2^32: INT_MIN and -2^30 give 0 (no draw samples kept),
///    -1 gives 4294967292;
///  - from 2^30 up the draw limit wraps too: 2^30 gives 0, INT_MAX gives
///    4294967292.
///
/// Each notice makes at most two counter reads and one append. Dropped
/// samples are not moved out one at a time: up to a limit's worth of them
/// stay behind the history's storage and go in one move, so a notice costs
/// the same at every length. A history therefore holds at most twice its
/// limit in memory (a few bytes more for a limit of 0), and once it has
/// reached its limit, notices allocate no memory; copies and assignments
/// keep that room, so neither do a copy's notices. Only the public samples
/// are ever visible: the getters, counts and frame rate are those of a
/// history trimmed one sample at a time.
class ZELTIMERS_API CZelFrameRate {
public:
  /// Empty histories, waiting for the first swap; `historyLength` is the
  /// swap history's limit (see above).
  explicit CZelFrameRate(int historyLength);
  /// Releases both histories.
  virtual ~CZelFrameRate();
  /// Member-by-member copy: histories, first-swap flag, both timers with
  /// their start times, and the length.
  CZelFrameRate(const CZelFrameRate& other);
  /// Member-by-member assignment; assigning a new meter empties both
  /// histories and waits for a first swap again.
  CZelFrameRate& operator=(const CZelFrameRate& other);

  /// The host is about to draw a frame: starts the draw timer.
  void FrameDrawStartNotice();
  /// The host has drawn the frame: appends the time since the most recent
  /// start notice, in milliseconds (since the counter's zero point if there
  /// was none). A second end notice measures from the same start again.
  void FrameDrawEndNotice();
  /// The host is swapping buffers. The first call only starts the swap
  /// timer; each later one appends the interval since the previous call, in
  /// seconds, and restarts the timer.
  void SwapCallNotice();

  /// Frames per second: 1 / (mean of the swap history), the sum taken in
  /// order in double precision. -1.0 when the history is empty or its mean
  /// is zero. Makes no counter read.
  float GetFrameRate();
  /// A copy of the draw durations in milliseconds, oldest first.
  std::vector<float> GetDrawHistory();
  /// A copy of the swap intervals in seconds, oldest first.
  std::vector<float> GetSwapHistory();
  /// The number of samples in the draw history (not the constructor's
  /// length), capped at INT_MAX for the unbounded histories of a negative
  /// length.
  int GetBufferCount();

private:
  std::vector<float> m_DrawHistory;
  bool m_FirstSwap;
  CZelWallTimer m_DrawTimer;
  int m_HistoryLength;
  std::vector<float> m_SwapHistory;
  CZelWallTimer m_SwapTimer;
};

#endif
