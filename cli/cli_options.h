// dimlet-cli's commands and options, each defined once, by one row: the
// parser, the usage text and bash completion all read these tables.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "cli/cli_arguments.h"

using CommandMask = uint32_t;
constexpr CommandMask CommandBit(CliCommand command) { return 1u << static_cast<int>(command); }

struct CommandSpec {
  const char* name;
  CliCommand command;
  const char* arguments;  // what follows the command, for messages and usage ("FILE"); "" for none
  int argumentCount;
  const char* summary;    // one line for the usage text
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
  // arguments; returns why it cannot be taken, or nothing.
  std::string (*store)(CliArguments& args, const std::string& value);
};

std::span<const CommandSpec> CommandSpecs();
std::span<const OptionSpec> OptionSpecs();

// The row of `name` ("write"), or nullptr.
const CommandSpec* FindCommand(const std::string& name);
// The row of `text`: "--name" or "-x"; nullptr when there is none.
const OptionSpec* FindOption(const std::string& text);
