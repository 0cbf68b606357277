// Pauses on the monotonic clock against an absolute deadline, so that an
// interrupted sleep resumes with exactly the time that is left.
#include "pause.h"

#include <cerrno>
#include <ctime>

void PauseMs(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec until{};
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += milliseconds / 1000;
  until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1'000'000L;
  if (until.tv_nsec >= 1'000'000'000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1'000'000'000L;
  }
  // clock_nanosleep returns the error number itself and leaves errno alone.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}
