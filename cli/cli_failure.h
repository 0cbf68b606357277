// How anything in dimlet-cli fails: one value with what went wrong, in words
// for standard error, and the exit status that tells a script. The status
// of each kind of failure is chosen here, by the maker used, and nowhere else.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "cli/cli_run.h"

struct CliFailure {
  int status = kExitFailure;  // a CliExit, or 128 + N for a stop by signal N
  std::string words;
};

// What a step that can fail returns: nothing when it went.
using CliChecked = std::optional<CliFailure>;

// A wrong command line, option value or file: nothing was sent.
inline CliFailure UsageFailure(std::string words) { return {kExitUsage, std::move(words)}; }
// Anything else that stops the work: a line lost, output not written.
inline CliFailure WorkFailure(std::string words) { return {kExitFailure, std::move(words)}; }
// The reader of standard output, or of the trace's pipe, left.
inline CliFailure ClosedPipeFailure(std::string words) { return {kExitClosedPipe, std::move(words)}; }
