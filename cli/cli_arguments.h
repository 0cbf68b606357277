// The command line of dimlet-cli, read into what is to be done.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class CliCommand {
  kPorts,
  kScan,
  kRead,
  kWrite,
  kVerify,
  kStore,
  kRun,
  kStop,
  kSetAddress,
  kSetHighest,
  kHelp,
  kVersion,
};

struct CliArguments {
  CliCommand command = CliCommand::kHelp;
  std::string profilePath;      // --profile; empty: the operator's own profile
  std::string port;             // --port as given: "Com N" or a device path; empty: the profile's choice
  std::vector<int> units;       // --unit, ascending, each once; empty when not given
  std::optional<int> sequence;  // --sequence, 1..8
  std::string file;             // the row file of write and verify ("-": standard input)
  bool fromProfile = false;     // --from-profile instead of a file
  std::string output = "-";     // read's -o ("-": standard output)
  bool store = false;           // --store
  bool verify = true;           // cleared by --no-verify
  bool dryRun = false;          // --dry-run
  bool quiet = false;           // -q
  int value = 0;                // set-address's NEW (0..7), set-highest's VALUE (1..8)
  std::string error;            // set when the command line is wrong
};

// Reads the arguments after the program name. Options may come before or after
// the command, as "--name value" or "--name=value". Anything wrong (an unknown
// command or option, a value out of range, an option the command does not
// take, a missing argument) sets `error` to a one-line reason.
CliArguments ParseCliArguments(const std::vector<std::string>& args);

// "Com N" (N 1..4, any case, the blank optional): N; otherwise 0.
int ComEntryNumber(const std::string& text);

// The --help text.
std::string CliUsageText();
