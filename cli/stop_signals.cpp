// Noting stop signals; the commands look at the note between units.
#include "cli/stop_signals.h"

#include <signal.h>

#include <csignal>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t g_stopAsked = 0;

void NoteStop(int) { g_stopAsked = 1; }

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = NoteStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // pauses and transfers resume on their own
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool StopAsked() { return g_stopAsked != 0; }
