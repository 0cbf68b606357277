// A poll against a deadline.
#include "device/deadline_wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

int WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  using Clock = std::chrono::steady_clock;
  for (;;) {
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    pollfd entry{fd, events, 0};
    const int ready = ppoll(&entry, 1, &timeout, nullptr);
    if (ready > 0) return entry.revents;
    if (ready == 0) {
      if (Clock::now() >= deadline) return 0;
      continue;  // woke a hair early: the deadline, not poll, decides
    }
    if (errno != EINTR) return -1;
  }
}
