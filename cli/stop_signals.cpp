// Noting stop signals; the commands look at the note between units.
#include "cli/stop_signals.h"

#include <signal.h>

#include <csignal>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void NoteStop(int signal) {
  if (g_stopSignal == 0) g_stopSignal = signal;
}

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = NoteStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // pauses and transfers resume on their own
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
}

bool StopAsked() { return g_stopSignal != 0; }

int StopSignal() { return g_stopSignal; }

bool StopWasClosedOutput() { return g_stopSignal == SIGPIPE; }
