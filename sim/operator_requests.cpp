// The operator's requests as signals (POSIX).
#include "sim/operator_requests.h"

#include <pthread.h>
#include <signal.h>

#include <initializer_list>

namespace sim {
namespace {

sigset_t g_signals;

}  // namespace

void TakeOperatorRequests() {
  // A closed output is seen as a failed write (EPIPE), not as a signal.
  signal(SIGPIPE, SIG_IGN);
  // Blocked before the serving thread exists, so it inherits the mask and
  // only sigwait below ever takes these signals.
  sigemptyset(&g_signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&g_signals, s);
  pthread_sigmask(SIG_BLOCK, &g_signals, nullptr);
}

OperatorRequest NextOperatorRequest() {
  for (;;) {
    int received = 0;
    if (sigwait(&g_signals, &received) != 0) continue;
    if (received == SIGUSR1) return OperatorRequest::HangUp;
    if (received == SIGUSR2) return OperatorRequest::Reconnect;
    return OperatorRequest::Stop;
  }
}

}  // namespace sim
