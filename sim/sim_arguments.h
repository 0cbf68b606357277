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

// Reads a unit list such as "0-7", "0,2,5" or "0-2,6": addresses 0..7, each
// at most once, in ascending order. False (with *error) for anything else.
bool ParseUnitList(const std::string& text, std::vector<int>* units, std::string* error);

// The shortest list text for ascending addresses: {0,1,2,5} gives "0-2,5".
std::string UnitListText(const std::vector<int>& units);

// The --help text.
std::string UsageText();

}  // namespace sim
