// The dimlet command line: the program takes no arguments of its own besides
// --help and --version, and both are answered before anything else starts (no
// display, no profile, no port).
#pragma once

#include <string>
#include <vector>

struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kError };
  Action action = Action::kRun;
  std::string error;  // with kError: what was wrong, for the operator
};

// Reads the arguments after the program name, left to right; the first of
// --help/-h or --version/-V decides, an unknown option or argument before it
// is an error.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text and the --version line, each ending in a newline.
std::string UsageText();
std::string VersionText();
