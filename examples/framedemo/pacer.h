// Frame pacing against absolute deadlines.
#ifndef ZELTIMERS_FRAMEDEMO_PACER_H
#define ZELTIMERS_FRAMEDEMO_PACER_H

#include <chrono>

namespace framedemo {

// Each frame is due one period after the previous frame's deadline, not
// after the previous frame was shown, so sleep overshoot and drawing time do
// not add up over a run. A frame shown more than half a period after its
// deadline is late; one shown more than a whole period late restarts the
// schedule from that moment instead of rushing frames out to catch up.
class Pacer {
public:
  using Clock = std::chrono::steady_clock;

  // fps 0 (or below) paces nothing: every deadline has already passed and
  // no frame is ever late.
  explicit Pacer(double fps);

  // The first frame is due at `now`.
  void Begin(Clock::time_point now);
  // When the current frame should be shown.
  Clock::time_point Deadline() const { return m_Deadline; }
  // The current frame was shown at `shownAt`: moves to the next deadline and
  // returns whether the frame was late.
  bool Shown(Clock::time_point shownAt);

  Clock::duration Period() const { return m_Period; }

private:
  Clock::duration m_Period;
  Clock::time_point m_Deadline;
};

}  // namespace framedemo

#endif
