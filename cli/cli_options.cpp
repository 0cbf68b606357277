// The tables of dimlet-cli's commands and options. A new option is one row;
// a new unit command is a row of device/unit_commands.h.
#include "cli/cli_options.h"

#include <charconv>
#include <string_view>
#include <vector>

#include "cli/line_name.h"
#include "cli/printable.h"
#include "device/unit_protocol.h"
#include "settings/led_settings.h"
#include "settings/port_map.h"
#include "settings/profile_path.h"
#include "settings/unit_list.h"

namespace {

constexpr CommandMask Mask(std::initializer_list<CliCommand> commands) {
  CommandMask mask = 0;
  for (CliCommand command : commands) mask |= CommandBit(command);
  return mask;
}

using C = CliCommand;
constexpr CommandMask kAll = ~CommandMask{0};
constexpr CommandMask kOnLine = Mask({C::kScan, C::kCheck, C::kRead, C::kWrite, C::kVerify, C::kUnitCommand, C::kReport});
constexpr CommandMask kToUnits = Mask({C::kRead, C::kWrite, C::kVerify, C::kUnitCommand});
// The commands the journal keeps.
constexpr CommandMask kChangesUnits = Mask({C::kWrite, C::kUnitCommand});
// Taken only by the unit commands whose rows name it.
constexpr CommandMask kNamedByRows = 0;
constexpr CommandMask kWithResults = kOnLine | Mask({C::kPorts, C::kJournal});

// The ranges as messages and help show them: "0-7", "1-8".
const std::string kAddressRange = "0-" + std::to_string(kUnitAddresses - 1);
const std::string kSequenceRange = "1-" + std::to_string(kSequenceRows);

CliChecked StorePort(CliArguments& args, const std::string& value) {
  const std::string entries = "\"" + ComEntryName(1) + "\"..\"" + ComEntryName(kComEntries) + "\"";
  if (!IsLineName(value)) {
    // The example is this system's own: /dev/ttyUSB0, or COM1 on Windows.
    return UsageFailure("--port takes " + entries + ", a device such as " + DefaultDevicePath(1) +
                        " or tcp://HOST:PORT, not \"" + value + "\"");
  }
  args.ports.push_back(value);
  return {};
}

CliChecked StoreUnits(CliArguments& args, const std::string& value) {
  if (value == "all") {
    args.allUnits = true;
    return {};
  }
  std::string why;
  if (!ParseUnitList(value, &args.units, &why)) {
    return UsageFailure("--unit takes unit addresses " + kAddressRange + " such as 3, 0,2,5 or " + kAddressRange +
                        ", each once, not \"" + value + "\"");
  }
  return {};
}

CliChecked StoreSequence(CliArguments& args, const std::string& value) {
  int sequence = 0;
  if (!ParseNumberIn(value, 1, kSequenceRows, &sequence)) {
    return UsageFailure("--sequence takes " + kSequenceRange + ", not \"" + value + "\"");
  }
  args.sequence = sequence;
  return {};
}

CliChecked StoreEcho(CliArguments& args, const std::string& value) {
  const std::optional<EchoMode> mode = EchoModeFromText(value);
  if (!mode) return UsageFailure("--echo takes auto, on or off, not \"" + value + "\"");
  args.echo = mode;
  return {};
}

CliChecked StoreAnswerWait(CliArguments& args, const std::string& value) {
  int ms = kAnswerWaitAuto;
  if (value != "auto" && !ParseNumberIn(value, unit_protocol::kAnswerWindowMs, kMaxAnswerWaitMs, &ms)) {
    return UsageFailure("--answer-wait takes auto or milliseconds " + std::to_string(unit_protocol::kAnswerWindowMs) +
                        "-" + std::to_string(kMaxAnswerWaitMs) + ", not \"" + value + "\"");
  }
  args.answerWaitMs = ms;
  return {};
}

// The most further tries --retries gives a row: a line that needs more is
// not one to commission units on.
constexpr int kMostRetries = 5;

CliChecked StoreRetries(CliArguments& args, const std::string& value) {
  if (!ParseNumberIn(value, 0, kMostRetries, &args.retries)) {
    return UsageFailure("--retries takes 0-" + std::to_string(kMostRetries) + ", not \"" + value + "\"");
  }
  return {};
}

// `dashStream`: whether "-" names a standard stream for this option.
CliChecked StoreFileName(std::string* into, const char* option, const std::string& value, bool dashStream = true) {
  if (value.empty()) {
    return UsageFailure(std::string(option) +
                        (dashStream ? " needs a file, or - for the standard stream" : " needs a file"));
  }
  *into = value;
  return {};
}

const std::string kUnitHelp =
    "unit addresses: 3, 0,2,5 or " + kAddressRange + "; read also takes \"all\", the units that answer";
const std::string kSequenceHelp = "only sequence S (" + kSequenceRange + ")";
const std::string kAnswerWaitHelp = "the longest wait for an answer byte, " +
                                    std::to_string(unit_protocol::kAnswerWindowMs) + "-" +
                                    std::to_string(kMaxAnswerWaitMs) +
                                    " ms, or auto: from the adapter's latency, raised when a whole answer comes late "
                                    "(default: the Com entry's, else auto)";

// A person's or a company's name, as text a person can read.
CliChecked StoreName(std::string* into, const char* option, const std::string& value) {
  if (value.empty() || Printable(value) != value || ReordersText(value)) {
    return UsageFailure(std::string(option) + " takes a name in UTF-8 text, without control bytes or controls that "
                                              "reorder text");
  }
  *into = value;
  return {};
}

// --help and --version: the parser asks for them by name.
CliChecked NoStore(CliArguments&, const std::string&) { return {}; }

// The program's own commands; the unit commands' verbs go in before help.
const CommandSpec kOwnCommands[] = {
    {"ports", C::kPorts, "", 0, "the Com entries and serial adapters: devices, line options, mapping"},
    {"scan", C::kScan, "[FILE]", 1, "the addresses (" + kAddressRange + ") that answer on each line, or on FILE's lines"},
    {"check", C::kCheck, "[INSTALLATION]", 1, "each line before commissioning: adapter, echo, how late each unit "
                                              "answers, stray bytes, the answer wait to set, shared addresses"},
    {"read", C::kRead, "", 0, "units' rows as a row file (--unit N[,N...] or --unit all)"},
    {"write", C::kWrite, "FILE", 1, "send rows (FILE, - or --from-profile), then read them back"},
    {"verify", C::kVerify, "FILE", 1, "compare what units hold with the rows"},
    {"report", C::kReport, "INSTALLATION", 1, "read an installation's units into a handover page"},
    {"journal", C::kJournal, "", 0, "what either program changed on units, oldest first"},
    {"help", C::kHelp, "[COMMAND]", 0, "this text, or one command's"},
    {"__complete", C::kComplete, "", 0, ""},
};

CommandSpec VerbOf(const unit_commands::UnitCommandRow& row) {
  const std::span<const unit_commands::Argument> arguments = row.Arguments();
  const std::string range = arguments.empty() ? "" : unit_commands::RangeText(arguments[0]);
  return {row.verb, C::kUnitCommand, arguments.empty() ? "" : arguments[0].name,
          static_cast<int>(arguments.size()), unit_commands::Words(row.summary, range), &row};
}

const std::vector<CommandSpec> kCommands = [] {
  std::vector<CommandSpec> commands;
  for (const CommandSpec& own : kOwnCommands) {
    if (own.command == C::kHelp) {
      for (const unit_commands::UnitCommandRow& row : unit_commands::kUnitCommands) {
        if (row.verb) commands.push_back(VerbOf(row));
      }
    }
    commands.push_back(own);
  }
  return commands;
}();

// Named as each system keeps it; built before kOptions, below it in this file.
const std::string kProfileHelp =
    "read this profile instead of " + ProfilePlaceText("dimlet") + " (it is only ever read)";

const OptionSpec kOptions[] = {
    {"--port", 0, "LINE", "the line: \"Com N\" of the profile's [Ports], a device path, tcp://HOST:PORT or "
                          "rfc2217://HOST:PORT; repeat it for several lines, worked side by side (default: "
                          "the Com entry chosen in Dimlet)",
     kOnLine | Mask({C::kJournal}), true, ValueWords::kLines, StorePort},
    {"--unit", 0, "LIST", kUnitHelp.c_str(),
     kToUnits | Mask({C::kJournal}), false, ValueWords::kNone, StoreUnits},
    {"--sequence", 0, "S", kSequenceHelp.c_str(), Mask({C::kRead, C::kWrite, C::kVerify}), false,
     ValueWords::kNone, StoreSequence},
    {"--from-profile", 0, nullptr, "write or verify the sequences kept in the profile",
     Mask({C::kWrite, C::kVerify}), false, ValueWords::kNone,
     [](CliArguments& a, const std::string&) -> CliChecked { a.fromProfile = true; return {}; }},
    {"--output", 'o', "FILE", "where read puts its rows, report its page (default -, standard output)",
     Mask({C::kRead, C::kReport}), false, ValueWords::kFiles,
     [](CliArguments& a, const std::string& v) -> CliChecked { return StoreFileName(&a.output, "-o", v); }},
    {"--like", 0, "FILE", "read the lines and units of the installation FILE, keeping its labels",
     Mask({C::kRead}), false, ValueWords::kFiles,
     [](CliArguments& a, const std::string& v) -> CliChecked { return StoreFileName(&a.like, "--like", v, false); }},
    {"--company", 0, "NAME", "the company that puts the installation in (default: the file's \"# company:\")",
     Mask({C::kReport}), false, ValueWords::kNone,
     [](CliArguments& a, const std::string& v) -> CliChecked { return StoreName(&a.company, "--company", v); }},
    {"--technician", 0, "NAME", "who does the work, for the report and the journal (default: the file's "
                                "\"# technician:\")",
     kChangesUnits | Mask({C::kReport}), false, ValueWords::kNone,
     [](CliArguments& a, const std::string& v) -> CliChecked { return StoreName(&a.technician, "--technician", v); }},
    {"--changed", 0, nullptr, "read each unit's rows first; write and verify only those that differ",
     Mask({C::kWrite}), false, ValueWords::kNone,
     [](CliArguments& a, const std::string&) -> CliChecked { a.changed = true; return {}; }},
    {"--since", 0, "WHEN", "only what was changed since a date, a UTC time (2026-12-08T20:15) or 90m, 12h, 3d ago",
     Mask({C::kJournal}), false, ValueWords::kNone,
     [](CliArguments& a, const std::string& v) -> CliChecked { a.since = v; return {}; }},
    {"--store", 0, nullptr, "after writing (and verifying), make the units store", Mask({C::kWrite}), false,
     ValueWords::kNone, [](CliArguments& a, const std::string&) -> CliChecked { a.store = true; return {}; }},
    {"--no-verify", 0, nullptr, "do not read written rows back", Mask({C::kWrite}), false, ValueWords::kNone,
     [](CliArguments& a, const std::string&) -> CliChecked { a.verify = false; return {}; }},
    {"--dry-run", 0, nullptr, "check the rows and show what would be sent; no port is opened",
     Mask({C::kWrite}), false, ValueWords::kNone,
     [](CliArguments& a, const std::string&) -> CliChecked { a.dryRun = true; return {}; }},
    {"--force", 0, nullptr, "set-address even when a unit already answers at the new address",
     kNamedByRows, false, ValueWords::kNone,
     [](CliArguments& a, const std::string&) -> CliChecked { a.force = true; return {}; }},
    {"--echo", 0, "auto|on|off", "whether the line returns what it sends (default: the Com entry's setting)",
     kOnLine, false, ValueWords::kEcho, StoreEcho},
    {"--answer-wait", 0, "MS|auto", kAnswerWaitHelp.c_str(), kOnLine, false, ValueWords::kNone, StoreAnswerWait},
    {"--retries", 0, "N", "more tries for a row whose answer came in part or late (after a write: silent or "
                          "other than written), 0-5 (default 1); never for stray bytes or echo faults",
     Mask({C::kRead, C::kWrite, C::kVerify, C::kReport}), false, ValueWords::kNone, StoreRetries},
    {"--rs485", 0, nullptr, "ask the kernel for RS-485 mode (default: the Com entry's setting)", kOnLine, false,
     ValueWords::kNone, [](CliArguments& a, const std::string&) -> CliChecked { a.rs485 = true; return {}; }},
    {"--json", 0, nullptr, "results as JSON Lines on standard output, one object per outcome, then a summary",
     kWithResults, false, ValueWords::kNone,
     [](CliArguments& a, const std::string&) -> CliChecked { a.json = true; return {}; }},
    {"--trace", 0, "FILE", "every byte sent and received, time-stamped, into FILE (- for standard error)", kOnLine,
     false, ValueWords::kFiles,
     [](CliArguments& a, const std::string& v) -> CliChecked { return StoreFileName(&a.trace, "--trace", v); }},
    {"--profile", 0, "FILE", kProfileHelp.c_str(), kAll,
     false, ValueWords::kFiles,
     [](CliArguments& a, const std::string& v) -> CliChecked { return StoreFileName(&a.profilePath, "--profile", v, false); }},
    {"--quiet", 'q', nullptr, "no progress and no summary; only data and errors", kAll, false, ValueWords::kNone,
     [](CliArguments& a, const std::string&) -> CliChecked { a.quiet = true; return {}; }},
    {"--help", 'h', nullptr, "show this text (or the command's)", kAll, false, ValueWords::kNone,
     NoStore},
    {"--version", 'V', nullptr, "show the version", kAll, false, ValueWords::kNone,
     NoStore},
};

}  // namespace

std::span<const CommandSpec> CommandSpecs() { return kCommands; }
std::span<const OptionSpec> OptionSpecs() { return kOptions; }

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& entry : kCommands) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

const OptionSpec* FindOption(const std::string& text) {
  for (const OptionSpec& entry : kOptions) {
    if (text == entry.name) return &entry;
    if (entry.shortName != 0 && text.size() == 2 && text[0] == '-' && text[1] == entry.shortName) return &entry;
  }
  return nullptr;
}

bool Takes(const CommandSpec& command, const OptionSpec& option) {
  if (option.commands & CommandBit(command.command)) return true;
  if (!command.unit) return false;
  // The row's options, separated by spaces.
  const std::string_view named = command.unit->options;
  const std::string_view name = option.name;
  for (size_t at = named.find(name); at != std::string_view::npos; at = named.find(name, at + 1)) {
    const size_t end = at + name.size();
    if ((at == 0 || named[at - 1] == ' ') && (end == named.size() || named[end] == ' ')) return true;
  }
  return false;
}

std::string CommandName(const CliArguments& args) {
  if (args.unitCommand) return args.unitCommand->verb;
  for (const CommandSpec& entry : kCommands) {
    if (entry.command == args.command) return entry.name;
  }
  return args.command == CliCommand::kVersion ? "version" : "";
}
