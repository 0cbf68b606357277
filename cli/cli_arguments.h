// The command line of dimlet-cli, read into what is to be done.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_failure.h"
#include "device/unit_commands.h"
#include "settings/line_options.h"

enum class CliCommand {
  kPorts,
  kScan,
  kCheck,
  kRead,
  kWrite,
  kVerify,
  kUnitCommand,  // a verb of unit_commands' table: store, run, stop, set-address, set-highest
  kReport,
  kJournal,
  kHelp,
  kVersion,
  kComplete,  // the words bash completion may offer; not shown in the usage
};

struct CliArguments {
  CliCommand command = CliCommand::kHelp;
  const unit_commands::UnitCommandRow* unitCommand = nullptr;  // kUnitCommand: its row
  std::string profilePath;         // --profile; empty: the operator's own profile
  std::vector<std::string> ports;  // each --port as given: "Com N", a device path or a network line
  std::vector<int> units;          // --unit, ascending, each once; empty when not given
  bool allUnits = false;           // --unit all: the units that answer
  std::optional<int> sequence;     // --sequence, 1..8
  std::string file;                // the row file of write and verify ("-": standard input), scan's
                                   // and check's installation file (empty: none)
  bool fromProfile = false;        // --from-profile instead of a file
  std::string output = "-";        // read's and report's -o ("-": standard output)
  std::string like;                // read --like: the installation file whose units (and labels) are read
  std::string company;             // --company: who puts the installation in (default: the file's "# company:")
  std::string technician;          // --technician: who does the work (default: the file's "# technician:")
  bool store = false;              // --store
  bool verify = true;              // cleared by --no-verify
  std::string since;               // journal --since: a date, a date and time, or a span back from now
  bool changed = false;            // write --changed: only the rows a unit does not hold already
  bool dryRun = false;             // --dry-run
  bool force = false;              // --force
  bool quiet = false;              // -q
  bool json = false;               // --json
  std::string trace;               // --trace FILE ("-": standard error); empty: none
  std::optional<EchoMode> echo;    // --echo; nothing: the Com entry's setting
  std::optional<int> answerWaitMs; // --answer-wait
  int retries = 1;                 // --retries: more tries a row gets after a fault that passes
  bool rs485 = false;              // --rs485
  int value = 0;                   // a unit command's argument, in its row's range
  std::string helpFor;             // help COMMAND / COMMAND --help: that command's name
  std::vector<std::string> words;  // kComplete: the words typed so far, the last one being completed
  std::optional<CliFailure> failure;  // set when the command line is wrong: a usage failure
};

// Reads the arguments after the program name. Options may come before or after
// the command, as "--name value" or "--name=value"; "--" ends the options.
// Anything wrong (an unknown command or option, a value out of range, an
// option the command does not take, a missing argument) sets `failure`
// with a one-line reason.
CliArguments ParseCliArguments(const std::vector<std::string>& args);

// The command's name as typed: "write", "set-highest".
std::string CommandName(const CliArguments& args);

// The --help text, and the usage of one command ("write", ...); empty for a
// name that is no command.
std::string CliUsageText();
std::string CommandUsageText(const std::string& command);

// The words bash may complete `words` with (the last one is the word under
// the cursor, maybe empty), one per line. "@files" asks for file names.
std::string CompletionWords(const std::vector<std::string>& words);
