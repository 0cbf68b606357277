// Noting a stop on Windows: Ctrl-C and Ctrl-Break stop between units as
// SIGINT does on Linux (exit 130); closing the console window, logging off
// or shutting down as SIGHUP and SIGTERM do. Windows calls the handler on a
// thread of its own, so the note is an atomic.
#include <windows.h>

#include <atomic>
#include <csignal>

#include "cli/stop_signals.h"

namespace {

// The POSIX numbers, so that exit codes and words are the same on both systems.
constexpr int kInterrupt = 2;  // SIGINT
constexpr int kHangUp = 1;     // SIGHUP
constexpr int kTerminate = 15; // SIGTERM

std::atomic<int> g_stopSignal{0};

BOOL WINAPI NoteStop(DWORD event) {
  int signal = 0;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      signal = kInterrupt;
      break;
    case CTRL_CLOSE_EVENT:
      signal = kHangUp;
      break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      signal = kTerminate;
      break;
    default:
      return FALSE;
  }
  int none = 0;
  g_stopSignal.compare_exchange_strong(none, signal);
  return TRUE;
}

}  // namespace

void InstallStopSignals() {
  // A console started with Ctrl-C ignored (start /b) passes that on to its
  // children; the stop must reach this program all the same.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(NoteStop, TRUE);
}

bool StopAsked() { return g_stopSignal.load() != 0; }

int StopSignal() { return g_stopSignal.load(); }

bool StopWasClosedOutput() { return false; }  // Windows has no SIGPIPE: the write fails with its reason
