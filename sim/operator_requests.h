// What the operator asks of a running dimlet-sim, as each system delivers it.
// POSIX (operator_requests.cpp): SIGINT, SIGTERM and SIGHUP stop it, SIGUSR1
// hangs the line up, SIGUSR2 reconnects it. Windows
// (operator_requests_windows.cpp): Ctrl-C, Ctrl-Break and the console closed
// stop it.
#pragma once

namespace sim {

enum class OperatorRequest { Stop, HangUp, Reconnect };

// Takes the requests from the system from now on, for NextRequest() alone.
// Called before any other thread starts, so that none of them takes one.
void TakeOperatorRequests();

// Waits for the next request.
OperatorRequest NextOperatorRequest();

}  // namespace sim
