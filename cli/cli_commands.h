// The commands of dimlet-cli, one function each, and what they share
// beyond the line: the row file read and checked whole.
#pragma once

#include <string>
#include <vector>

#include "cli/line_session.h"
#include "cli/row_file.h"

// Reads the row file `name` ("-": standard input) and checks it whole.
// kExitDone, or the exit status after saying what is wrong (a usage fault,
// or a stop).
int LoadRowFile(const CliContext& context, const std::string& name, RowFile* file);

// The commands, one function each.
int RunPorts(const CliContext& context);
int RunScan(const CliContext& context);
// The lines scan and check work: an installation file's line column, or
// each --port (else the profile's chosen line). kExitDone, or the exit
// status after saying what is wrong.
int ScanLines(const CliContext& context, std::vector<PortChoice>* lines);
int RunCheck(const CliContext& context);  // each line looked at before commissioning
// A unit command of unit_commands' table sent to each --unit: one that
// nothing confirms (store, run, stop, set-highest), and one that moves the
// unit to a new address, asked for before and after (set-address).
int RunUnitCommand(const CliContext& context);
int RunSetAddress(const CliContext& context);
int RunRead(const CliContext& context);
int RunWriteOrVerify(const CliContext& context);  // write and verify
int RunReport(const CliContext& context);         // the handover report
int RunJournal(const CliContext& context);        // the journal, filtered
