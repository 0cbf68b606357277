// Ctrl-C, SIGTERM, SIGHUP and SIGPIPE asked of dimlet-cli while it talks to
// units.
//
// Ending at once could leave a frame half sent; the unit would then take the
// next frame's first bytes as the rest of it and store them as a row. So the
// signal is only noted, and the commands stop at the next whole unit. SIGPIPE
// (standard output closed, as by `| head -1`) stops the same way, and the
// write that met it fails with its reason instead of ending the program.
// stop_signals_windows.cpp notes Ctrl-C, Ctrl-Break and the console closing
// under the same numbers.
#pragma once

// Notes SIGINT, SIGTERM, SIGHUP and SIGPIPE instead of ending the process. For
// the program's main(); without it StopAsked() is always false.
void InstallStopSignals();

// True once one of those signals has come.
bool StopAsked();
// The first of them that came; 0 before.
int StopSignal();
// Whether that was SIGPIPE: standard output was closed, nobody asked to stop.
bool StopWasClosedOutput();
