// What every dimlet-cli command shares: its arguments and streams, opening
// the port, messages and the progress line.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_arguments.h"
#include "cli/cli_profile.h"
#include "cli/cli_run.h"
#include "cli/row_file.h"
#include "device/serial_link.h"
#include "device/unit_operations.h"

struct CliContext {
  const CliArguments& args;
  const CliStreams& streams;
  std::string profilePath;

  // "dimlet-cli: <message>" on standard error; returns `code`.
  int Fail(int code, const std::string& message) const;
  // A line on standard output unless -q.
  void Say(const std::string& line) const;
  // "\r<text>" on the terminal, overwriting the last one, when progress is shown.
  void Progress(const std::string& text) const;
  // Clears the progress line, if one is shown.
  void EndProgress() const;
};

// Opens the port the arguments choose into `link`. False after saying why
// (in the window's words) and setting *code to kExitPortNotOpen.
bool OpenChosenPort(const CliContext& context, CSerialLink& link, PortChoice* choice, int* code);

// kExitFailure, said, when the line went away while in use; else `code`.
int CheckLineKept(const CliContext& context, const CSerialLink& link, const PortChoice& choice, int code);

// A row-progress callback that shows "unit N: <verb> row done of total".
unit_operations::RowProgress RowProgressFor(const CliContext& context, int unit, const std::string& verb);

// After a stop signal: kExitFailure, said with `what` is left undone; else
// kExitDone. For the places between units where a command may stop.
int CheckStop(const CliContext& context, const std::string& undone);

// Problems of a row file or the profile, each as "NAME:LINE: what" (or
// "NAME: what" for the file as a whole). Returns kExitUsage.
int ReportProblems(const CliContext& context, const std::string& name, const std::vector<FileProblem>& problems);

// The commands, one function each.
int RunPorts(const CliContext& context);
int RunScan(const CliContext& context);
int RunUnitCommand(const CliContext& context);  // store, run, stop, set-address, set-highest
int RunRead(const CliContext& context);
int RunWriteOrVerify(const CliContext& context);  // write and verify
