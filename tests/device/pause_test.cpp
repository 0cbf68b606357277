// The pause between command bytes: never shorter than asked, also when
// signals keep interrupting it.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "device/pause.h"
#include "support/test_pty.h"

using testsupport::Clock;

namespace {

using std::chrono::milliseconds;

void Ignore(int) {}

TEST(Pause, NeverShorterThanAskedEvenWhenSignalsInterruptIt) {
  // Without SA_RESTART a signal cuts a plain sleep short.
  struct sigaction action {};
  action.sa_handler = Ignore;
  struct sigaction previous {};
  sigaction(SIGUSR1, &action, &previous);

  const pthread_t sleeper = pthread_self();
  std::atomic<bool> done{false};
  std::thread interrupter([&] {
    while (!done) {
      pthread_kill(sleeper, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  });
  for (int ms : {1, 3, 5, 20}) {
    for (int round = 0; round < 5; ++round) {
      const auto start = Clock::now();
      PauseMs(ms);
      EXPECT_GE(Clock::now() - start, milliseconds(ms)) << ms << " ms";
    }
  }
  done = true;
  interrupter.join();
  sigaction(SIGUSR1, &previous, nullptr);
}

}  // namespace
