// The operator's requests from the console (Windows): Ctrl-C, Ctrl-Break and
// the console closed all stop the line. Windows has no signal to hang up or
// reconnect a line served over TCP; a client that leaves is the hang-up.
#include <windows.h>

#include "sim/operator_requests.h"

namespace sim {
namespace {

HANDLE g_stop = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
  SetEvent(g_stop);
  // Windows ends the process once this returns from a close event; it gives
  // a few seconds, enough for the line to stop.
  Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void TakeOperatorRequests() {
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

OperatorRequest NextOperatorRequest() {
  WaitForSingleObject(g_stop, INFINITE);
  return OperatorRequest::Stop;
}

}  // namespace sim
