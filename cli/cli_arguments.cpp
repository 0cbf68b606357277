// Reading dimlet-cli's command line by the tables of cli_options.
#include "cli/cli_arguments.h"

#include <algorithm>
#include <charconv>

#include "cli/cli_options.h"
#include "settings/led_settings.h"
#include "settings/unit_list.h"

namespace {

// How many single-character edits (insert, delete, replace, swap two
// neighbours) make `a` into `b`.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// " (did you mean scan? see --help)" for the name in `names` that `typed` is
// one slip away from (two for a longer word), else " (see --help)". Words of
// one or two letters are too short to guess from.
std::string SeeHelp(const std::string& typed, const std::vector<std::string>& names) {
  auto bare = [](const std::string& word) { return word.substr(std::min(word.find_first_not_of('-'), word.size())); };
  const std::string word = bare(typed);
  const size_t allowed = word.size() < 3 ? 0 : word.size() < 6 ? 1 : 2;
  std::string nearest;
  size_t best = allowed + 1;
  for (const std::string& name : names) {
    const size_t distance = EditDistance(word, bare(name));
    if (distance < best) {
      best = distance;
      nearest = name;
    }
  }
  return nearest.empty() ? " (see --help)" : " (did you mean " + nearest + "? see --help)";
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> names;
  for (const CommandSpec& entry : CommandSpecs()) {
    if (!entry.summary.empty()) names.push_back(entry.name);
  }
  return names;
}

std::vector<std::string> OptionNames() {
  std::vector<std::string> names;
  for (const OptionSpec& entry : OptionSpecs()) names.push_back(entry.name);
  return names;
}

// A unit command's own needs: its units, and its argument within its row's range.
CliChecked CheckUnitCommand(CliArguments& result, const CommandSpec& info,
                            const std::vector<std::string>& positional) {
  const unit_commands::UnitCommandRow& row = *info.unit;
  const std::string& name = info.name;
  switch (row.confirmation) {
    case unit_commands::Confirmation::kNone:
    case unit_commands::Confirmation::kAnswer:
      if (result.units.empty()) return UsageFailure(name + " needs --unit N[,N...]");
      break;
    case unit_commands::Confirmation::kNewAddress:
      // Only one unit can move to an address, and only on one line.
      if (result.ports.size() > 1) return UsageFailure(name + " works on one line");
      if (result.units.size() != 1) return UsageFailure(name + " needs --unit N with one unit");
      break;
  }
  const std::span<const unit_commands::Argument> arguments = row.Arguments();
  if (arguments.empty()) return {};

  const unit_commands::Argument& argument = arguments[0];
  if (!ParseNumberIn(positional[0], argument.lowest, argument.highest, &result.value)) {
    return UsageFailure(name + " takes " + argument.words + " " + unit_commands::RangeText(argument) + ", not \"" +
                        positional[0] + "\"");
  }
  if (row.confirmation == unit_commands::Confirmation::kNewAddress && result.value == result.units[0]) {
    return UsageFailure(name + ": the unit has the address " + positional[0] + " already");
  }
  return {};

}

// The checks that need the whole command line: which arguments a command
// needs and which of its options go together.
CliChecked CheckCommand(CliArguments& result, const CommandSpec& info, const std::vector<std::string>& positional) {
  const CliCommand command = info.command;
  const std::string name = info.name;
  const bool rows = command == CliCommand::kWrite || command == CliCommand::kVerify;
  int wanted = info.argumentCount;
  if (rows && result.fromProfile) wanted = 0;
  // An installation file's lines are scan's and check's choice, not their need.
  if ((command == CliCommand::kScan || command == CliCommand::kCheck) && positional.empty()) wanted = 0;
  if (static_cast<int>(positional.size()) > wanted) {
    if (wanted == 0 && result.fromProfile) return UsageFailure(name + " takes FILE or --from-profile, not both");
    return UsageFailure(name + " takes " + (wanted == 0 ? "no further arguments" : info.arguments) + ", not also \"" +
                        positional[wanted] + "\"");
  }
  if (static_cast<int>(positional.size()) < wanted) {
    if (rows) return UsageFailure(name + " needs a FILE of rows (or --from-profile)");
    return UsageFailure(name + " needs " + info.arguments);
  }
  if (result.allUnits && command != CliCommand::kRead) {
    return UsageFailure(name + " takes the units by address; --unit all is for read (scan shows which answer)");
  }
  switch (command) {
    case CliCommand::kWrite:
    case CliCommand::kVerify:
      if (!result.fromProfile) result.file = positional[0];
      if (result.fromProfile && result.units.empty()) {
        return UsageFailure(name + " --from-profile needs --unit N[,N...]: the profile's rows name no unit");
      }
      if (!result.verify && result.dryRun) return UsageFailure("--dry-run sends nothing, so --no-verify means nothing");
      if (result.changed && result.dryRun) {
        return UsageFailure("--dry-run opens no line, so --changed cannot read what units hold");
      }
      break;
    case CliCommand::kReport:
      result.file = positional[0];
      break;
    case CliCommand::kScan:
    case CliCommand::kCheck:
      if (!positional.empty()) result.file = positional[0];
      break;
    case CliCommand::kRead:
      if (!result.like.empty() && (!result.units.empty() || result.allUnits || !result.ports.empty())) {
        return UsageFailure("read --like takes its lines and units from the file; leave out --unit and --port");
      }
      if (result.units.empty() && !result.allUnits && result.like.empty()) {
        return UsageFailure("read needs --unit N[,N...], --unit all or --like INSTALLATION");
      }
      break;
    case CliCommand::kUnitCommand:
      return CheckUnitCommand(result, info, positional);

    case CliCommand::kPorts:
    case CliCommand::kJournal:
    case CliCommand::kHelp:
    case CliCommand::kVersion:
    case CliCommand::kComplete:
      break;
  }
  return {};

}

// The words of a command line as read: the command, the arguments after it,
// and the options given (their values kept in the arguments already).
struct ReadWords {
  const CommandSpec* command = nullptr;
  std::vector<std::string> positional;
  std::vector<const OptionSpec*> given;
  bool helpAsked = false;
  bool versionAsked = false;
};

// Takes the option args[*i] ("--name", "--name=value" or "-x") and its value,
// which may be the next word (then *i moves on to it).
CliChecked TakeOption(const std::vector<std::string>& args, size_t* i, CliArguments& result, ReadWords* words) {
  std::string arg = args[*i];
  std::optional<std::string> inlineValue;
  const size_t equals = arg.find('=');
  if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
    inlineValue = arg.substr(equals + 1);
    arg = arg.substr(0, equals);
  }
  const OptionSpec* option = FindOption(arg);
  if (!option) return UsageFailure("unknown option \"" + arg + "\"" + SeeHelp(arg, OptionNames()));
  const std::string name = option->name;
  if (!option->valueName && inlineValue) return UsageFailure(name + " takes no value");
  if (!option->repeatable && std::find(words->given.begin(), words->given.end(), option) != words->given.end()) {
    return UsageFailure(name + " is given twice");
  }
  words->given.push_back(option);
  words->helpAsked = words->helpAsked || name == "--help";
  words->versionAsked = words->versionAsked || name == "--version";
  std::string value;
  if (option->valueName) {
    if (inlineValue) {
      value = *inlineValue;
    } else if (*i + 1 < args.size()) {
      value = args[++*i];
    } else {
      return UsageFailure(name + " needs a value");
    }
  }
  return option->store(result, value);
}

// Sorts every word of `args` into options, the command and its arguments.
CliChecked ReadAllWords(const std::vector<std::string>& args, CliArguments& result, ReadWords* words) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (CliChecked failed = TakeOption(args, &i, result, words)) return failed;
    } else if (!words->command) {
      words->command = FindCommand(arg);
      if (!words->command || words->command->command == CliCommand::kComplete) {
        return UsageFailure("unknown command \"" + arg + "\"" + SeeHelp(arg, CommandNames()));
      }
    } else {
      words->positional.push_back(arg);
    }
  }
  return {};
}

}  // namespace

CliArguments ParseCliArguments(const std::vector<std::string>& args) {
  CliArguments result;
  auto fail = [](CliFailure why) {
    CliArguments failed;
    failed.failure = std::move(why);
    return failed;
  };
  // Completion reads what was typed, right or wrong, and never fails.
  if (!args.empty() && args[0] == "__complete") {
    result.command = CliCommand::kComplete;
    result.words.assign(args.begin() + 1, args.end());
    return result;
  }

  ReadWords words;
  if (CliChecked failed = ReadAllWords(args, result, &words)) return fail(*failed);
  const CommandSpec* info = words.command;
  if (info && info->command == CliCommand::kHelp) {
    result = CliArguments{};
    if (!words.positional.empty()) {
      if (!FindCommand(words.positional[0]) || words.positional.size() > 1) {
        return fail(UsageFailure("help takes one COMMAND, not \"" + words.positional.back() + "\""));
      }
      result.helpFor = words.positional[0];
    }
    return result;
  }
  if (words.helpAsked) {
    result = CliArguments{};
    if (info) result.helpFor = info->name;
    return result;
  }
  if (words.versionAsked) {
    result = CliArguments{};
    result.command = CliCommand::kVersion;
    return result;
  }
  if (!info) return fail(UsageFailure("no command given (see --help)"));
  result.command = info->command;
  result.unitCommand = info->unit;
  for (const OptionSpec* option : words.given) {
    if (!Takes(*info, *option)) return fail(UsageFailure(info->name + " does not take " + option->name));
  }
  if (CliChecked failed = CheckCommand(result, *info, words.positional)) return fail(*failed);
  return result;
}
