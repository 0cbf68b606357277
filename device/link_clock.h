// The one clock the link reads and waits on. Every time stamp and every pause
// of CSerialLink and the whole-unit operations goes through it; a transport's
// own wait (epoll, WaitCommEvent, a socket) ends at a deadline read from it.
//
// The system's clock is today's monotonic clock with the system's precise
// pauses (pause.h). A test gives the link a clock of its own whose time jumps
// straight to the next event, together with a line on that same time, so that
// a line's timing runs byte for byte with no real waiting.
#pragma once

#include <chrono>

class LinkClock {
 public:
  using time_point = std::chrono::steady_clock::time_point;

  virtual ~LinkClock() = default;
  virtual time_point Now() = 0;
  // Returns once `until` has passed, never sooner; a time already past
  // returns at once.
  virtual void PauseUntil(time_point until) = 0;

  // A pause of at least `milliseconds` from now.
  void PauseMs(int milliseconds) { PauseUntil(Now() + std::chrono::milliseconds(milliseconds)); }
};

// The monotonic clock and PauseMs of pause.h: one for the whole process.
LinkClock& SystemClock();
