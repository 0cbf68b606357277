// dimlet-cli as a function: one command line run to its end, with its output
// and its exit status. main() and the benchmarks call it.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// What the exit status tells a script.
enum CliExit : int {
  kExitDone = 0,
  kExitFailure = 1,      // anything not below: the line lost or held while in use, a frame that
                         // did not leave whole, output that could not be written
  kExitUsage = 2,        // a wrong command line or a bad row file: nothing was sent
  kExitPortNotOpen = 3,  // the port could not be opened
  kExitNoAnswer = 4,     // a unit did not answer (some or all of a row)
  kExitDifferent = 5,    // a unit holds rows other than those sent or given
  kExitClosedPipe = 141, // the reader of an output left (128 + SIGPIPE, on every system)
  // 128 + N: stopped by signal N between units (130 for Ctrl-C)
};

struct CliStreams {
  std::istream& in;   // a row file given as "-", when inFd is -1
  std::ostream& out;  // data: rows, unit lists, summaries
  std::ostream& err;  // errors, and progress when `progress` is set
  bool progress;      // standard error is a terminal: show progress there
  int inFd = -1;      // standard input as a descriptor, read so that a stop signal ends the wait
  int outFd = -1;     // standard output as a descriptor, asked between units whether its reader left
};

// Runs the command line `args` (without the program name).
int RunCli(const std::vector<std::string>& args, const CliStreams& streams);
