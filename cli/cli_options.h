// dimlet-cli's commands and options, each defined once, by one row: the
// parser, the usage text and bash completion all read these tables. The
// commands that send one unit command to each unit are the verbs of
// unit_commands' table, listed here among the program's own.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "cli/cli_arguments.h"
#include "cli/cli_failure.h"

using CommandMask = uint32_t;
constexpr CommandMask CommandBit(CliCommand command) { return 1u << static_cast<int>(command); }

struct CommandSpec {
  std::string name;
  CliCommand command;
  std::string arguments;  // what follows the command, for messages and usage ("FILE"); "" for none
  int argumentCount;
  std::string summary;    // one line for the usage text; empty: not shown
  const unit_commands::UnitCommandRow* unit = nullptr;  // kUnitCommand: its row
};

// What bash may offer as an option's value.
enum class ValueWords { kNone, kFiles, kLines, kEcho };

struct OptionSpec {
  const char* name;       // "--unit"
  char shortName;         // 'o' for -o; 0 for none
  const char* valueName;  // "LIST"; nullptr for an option that takes no value
  const char* help;
  CommandMask commands;   // the commands that take it
  bool repeatable;
  ValueWords words;
  // Keeps the value (an empty text for an option without one) in the
  // arguments; a usage failure when it cannot be taken.
  CliChecked (*store)(CliArguments& args, const std::string& value);
};

std::span<const CommandSpec> CommandSpecs();
std::span<const OptionSpec> OptionSpecs();

// The row of `name` ("write"), or nullptr.
const CommandSpec* FindCommand(const std::string& name);
// Whether `command` takes `option`: by the option's commands, or for a unit
// command by the options its row names.
bool Takes(const CommandSpec& command, const OptionSpec& option);
// The row of `text`: "--name" or "-x"; nullptr when there is none.
const OptionSpec* FindOption(const std::string& text);
