// Pauses on the monotonic clock against an absolute deadline, so that an
// interrupted sleep resumes with exactly the time that is left.
#include "device/pause.h"

#include <sys/prctl.h>

#include <atomic>
#include <cerrno>
#include <ctime>

namespace {

std::atomic<uint64_t> g_timerWaits{0};

// The kernel may wake a sleeper up to its timer slack late (50 us by
// default) to batch wake-ups; on pauses of a few milliseconds, repeated six
// times per frame, that adds up. Narrowing it is per thread, so once per thread.
void NarrowTimerSlack() {
  thread_local bool narrowed = false;
  if (narrowed) return;
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);  // on failure pauses are only a little longer
  narrowed = true;
}

}  // namespace

void PauseMs(int milliseconds) {
  if (milliseconds <= 0) return;
  NarrowTimerSlack();
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
  g_timerWaits.fetch_add(1, std::memory_order_relaxed);
}

uint64_t PauseTimerWaits() { return g_timerWaits.load(std::memory_order_relaxed); }
