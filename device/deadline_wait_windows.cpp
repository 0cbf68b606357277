// Waiting on one socket until a deadline on Windows: WSAPoll (see
// deadline_wait.h; a COM port waits in its own transport).
#include <algorithm>

#include "device/deadline_wait.h"
#include "socket_system.h"

int WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  using Clock = std::chrono::steady_clock;
  for (;;) {
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    WSAPOLLFD entry{static_cast<SOCKET>(fd), events, 0};
    const int ready = WSAPoll(&entry, 1, static_cast<INT>(ms));
    if (ready > 0) return entry.revents;
    if (ready == 0) {
      if (Clock::now() >= deadline) return 0;
      continue;  // woke a hair early: the deadline, not the poll, decides
    }
    errno = socket_system::LastError();
    return -1;
  }
}
