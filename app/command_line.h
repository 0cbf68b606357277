// The dimlet command line: --help and --version, both answered before
// anything else starts (no display, no profile, no port), and --trace FILE,
// which writes every byte on the line to FILE ("-": standard error).
#pragma once

#include <string>
#include <vector>

struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kError };
  Action action = Action::kRun;
  std::string error;  // with kError: what was wrong, for the operator
  std::string tracePath;  // with kRun: where the byte trace goes; empty for none
};

// Reads the arguments after the program name, left to right; the first of
// --help/-h or --version/-V decides, an unknown option or argument before it
// is an error. "--trace FILE" and "--trace=FILE" may come before them; a
// second --trace is an error.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text and the --version line, each ending in a newline.
std::string UsageText();
std::string VersionText();
