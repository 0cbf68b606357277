// The command line of the dimlet-sim program, turned into line options.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_line.h"

namespace sim {

struct SimArguments {
  SimOptions options;
  bool help = false;     // --help: print UsageText() and do nothing else
  bool version = false;  // --version: print the version and do nothing else
  std::string error;   // set when the command line is wrong; the rest is then unset
};

// Reads the arguments after the program name, left to right. --help or
// --version ends the reading (what follows is not looked at); unknown options,
// missing or out-of-range values and malformed unit lists before it set
// `error`.
SimArguments ParseSimArguments(const std::vector<std::string>& args);

// The --help text.
std::string UsageText();

}  // namespace sim
