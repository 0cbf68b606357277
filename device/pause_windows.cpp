// Pauses on Windows. The default timer tick is 15.6 ms: Sleep(3) would last
// five times as long as a unit's gap. Each pausing thread waits on a
// high-resolution waitable timer of its own; where the system has none (before
// Windows 10 1803) a plain one with the process's timer resolution raised to
// 1 ms for its whole life. A timer wakes its thread late (wine's at the next
// whole millisecond and 0.2 ms more, real Windows' by much less), which would
// lengthen every pause of a frame by as much: the timer is set to wake that
// much before the deadline, as this thread has seen its wakes lately, and the
// rest is waited out by yielding the processor until the deadline has passed,
// never returning before it.
#include <windows.h>

#include <timeapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "device/pause.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002  // Windows 10 1803; older mingw headers lack it
#endif

namespace {

std::atomic<uint64_t> g_timerWaits{0};

class PauseTimer {
 public:
  PauseTimer() {
    m_timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (!m_timer) {
      static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;  // for the process's life
      (void)raised;
      m_timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
  }
  ~PauseTimer() {
    if (m_timer) CloseHandle(m_timer);
  }
  PauseTimer(const PauseTimer&) = delete;
  PauseTimer& operator=(const PauseTimer&) = delete;

  // Waits at least until `deadline` on the steady clock, on the timer at
  // least once.
  void WaitUntil(std::chrono::steady_clock::time_point deadline) {
    using std::chrono::nanoseconds;
    bool waited = false;
    for (auto now = std::chrono::steady_clock::now(); now < deadline; now = std::chrono::steady_clock::now()) {
      const nanoseconds left = deadline - now;
      if (waited && left <= m_early) {
        // Less is left than the timer would overshoot by.
        SwitchToThread();
        continue;
      }
      // Relative due times are negative, in 100 ns units, rounded up.
      const nanoseconds asked = std::max(left - m_early, left / 2);
      LARGE_INTEGER due{};
      due.QuadPart = -static_cast<LONGLONG>((asked.count() + 99) / 100);
      if (!m_timer || !SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE)) {
        Sleep(static_cast<DWORD>((left.count() + 999'999) / 1'000'000));  // no timer at all: the tick's pause
        continue;
      }
      WaitForSingleObject(m_timer, INFINITE);
      g_timerWaits.fetch_add(1, std::memory_order_relaxed);
      waited = true;
      // The latest wake seen lately, within bounds, let go of slowly: a wake
      // made late by a busy machine costs a little yielding for a while.
      const nanoseconds late = std::clamp<nanoseconds>(std::chrono::steady_clock::now() - (now + asked),
                                                       nanoseconds::zero(), kMostEarly);
      m_early = std::max(late, m_early - m_early / 32);
    }
  }

 private:
  // The most a wake is set before the deadline: the yielding wait after it
  // stays short.
  static constexpr std::chrono::nanoseconds kMostEarly{1'500'000};

  HANDLE m_timer = nullptr;
  std::chrono::nanoseconds m_early{0};
};

}  // namespace

void PauseMs(int milliseconds) {
  if (milliseconds <= 0) return;
  thread_local PauseTimer timer;
  timer.WaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

uint64_t PauseTimerWaits() { return g_timerWaits.load(std::memory_order_relaxed); }
