// Ctrl-C, SIGTERM and SIGHUP asked of dimlet-cli while it talks to units.
//
// Ending at once could leave a frame half sent; the unit would then take the
// next frame's first bytes as the rest of it and store them as a row. So the
// signal is only noted, and the commands stop at the next whole unit.
#pragma once

// Notes SIGINT, SIGTERM and SIGHUP instead of ending the process. For the
// program's main(); without it StopAsked() is always false.
void InstallStopSignals();

// True once one of those signals has come.
bool StopAsked();
