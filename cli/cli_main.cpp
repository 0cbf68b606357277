// dimlet-cli: programs LED controller units from a shell, on the line and
// with the profile that the Dimlet window uses. Needs no display.
#include <unistd.h>

#include <iostream>

#include "cli/cli_run.h"
#include "cli/console.h"
#include "cli/stop_signals.h"
#include "settings/standard_streams.h"

int main(int argc, char** argv) {
  if (!OpenClosedStandardStreams()) return 1;
  std::ios::sync_with_stdio(false);
  PrepareConsole();
  InstallStopSignals();
  const bool terminal = isatty(STDERR_FILENO) == 1;
  const CliStreams streams{std::cin, std::cout, std::cerr, terminal, STDIN_FILENO, STDOUT_FILENO};
  return RunCli(std::vector<std::string>(argv + 1, argv + argc), streams);
}
