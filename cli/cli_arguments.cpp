// Reading dimlet-cli's command line: which command, and the options it takes.
#include "cli/cli_arguments.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace {

struct CommandInfo {
  const char* name;
  CliCommand command;
  const char* positional;  // the argument names after the command, for messages; "" for none
  int positionalCount;
};

constexpr CommandInfo kCommands[] = {
    {"ports", CliCommand::kPorts, "", 0},
    {"scan", CliCommand::kScan, "", 0},
    {"read", CliCommand::kRead, "", 0},
    {"write", CliCommand::kWrite, "FILE", 1},
    {"verify", CliCommand::kVerify, "FILE", 1},
    {"store", CliCommand::kStore, "", 0},
    {"run", CliCommand::kRun, "", 0},
    {"stop", CliCommand::kStop, "", 0},
    {"set-address", CliCommand::kSetAddress, "NEW", 1},
    {"set-highest", CliCommand::kSetHighest, "VALUE", 1},
};

// The options each command takes, beyond --profile, --port and -q which all
// take.
const std::map<CliCommand, std::vector<std::string>>& CommandOptions() {
  static const std::map<CliCommand, std::vector<std::string>> options = {
      {CliCommand::kPorts, {}},
      {CliCommand::kScan, {}},
      {CliCommand::kRead, {"--unit", "--sequence", "-o"}},
      {CliCommand::kWrite, {"--unit", "--sequence", "--store", "--no-verify", "--dry-run", "--from-profile"}},
      {CliCommand::kVerify, {"--unit", "--sequence", "--from-profile"}},
      {CliCommand::kStore, {"--unit"}},
      {CliCommand::kRun, {"--unit"}},
      {CliCommand::kStop, {"--unit"}},
      {CliCommand::kSetAddress, {"--unit"}},
      {CliCommand::kSetHighest, {"--unit"}},
  };
  return options;
}

bool ParseNumber(const std::string& text, int lo, int hi, int* value) {
  int v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end || v < lo || v > hi) return false;
  *value = v;
  return true;
}

// "3", "0,2,5", "0-3,6": addresses 0..7, each at most once.
bool ParseUnits(const std::string& text, std::vector<int>* units) {
  std::vector<int> found;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(begin, end - begin);
    const size_t dash = item.find('-');
    int first = 0, last = 0;
    const bool ok = dash == std::string::npos
                        ? ParseNumber(item, 0, 7, &first) && ParseNumber(item, 0, 7, &last)
                        : ParseNumber(item.substr(0, dash), 0, 7, &first) &&
                              ParseNumber(item.substr(dash + 1), 0, 7, &last) && first <= last;
    if (!ok) return false;
    for (int unit = first; unit <= last; ++unit) {
      if (std::find(found.begin(), found.end(), unit) != found.end()) return false;
      found.push_back(unit);
    }
    begin = end + 1;
  }
  std::sort(found.begin(), found.end());
  *units = std::move(found);
  return true;
}

}  // namespace

int ComEntryNumber(const std::string& text) {
  if (text.size() < 4 || text.size() > 5) return 0;
  std::string word = text.substr(0, 3);
  std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
  if (word != "com") return 0;
  std::string rest = text.substr(3);
  if (rest.size() == 2) {
    if (rest[0] != ' ') return 0;
    rest.erase(0, 1);
  }
  int number = 0;
  return ParseNumber(rest, 1, 4, &number) ? number : 0;
}

CliArguments ParseCliArguments(const std::vector<std::string>& args) {
  CliArguments result;
  auto fail = [](const std::string& why) {
    CliArguments failed;
    failed.error = why;
    return failed;
  };

  std::optional<CliCommand> command;
  const CommandInfo* info = nullptr;
  std::vector<std::string> positional;
  std::vector<std::string> given;  // options seen, for checking against the command
  bool helpAsked = false;
  bool versionAsked = false;

  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      std::optional<std::string> inlineValue;
      const size_t equals = arg.find('=');
      if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
        inlineValue = arg.substr(equals + 1);
        arg = arg.substr(0, equals);
      }
      const bool flag = arg == "--help" || arg == "-h" || arg == "--version" || arg == "-q" ||
                        arg == "--quiet" || arg == "--store" || arg == "--no-verify" || arg == "--dry-run" ||
                        arg == "--from-profile";
      const bool takesValue = arg == "--profile" || arg == "--port" || arg == "--unit" || arg == "--sequence" ||
                              arg == "-o" || arg == "--output";
      if (!flag && !takesValue) return fail("unknown option \"" + arg + "\" (see --help)");
      if (flag && inlineValue) return fail(arg + " takes no value");
      if (arg == "--quiet") arg = "-q";
      if (arg == "--output") arg = "-o";
      if (std::find(given.begin(), given.end(), arg) != given.end()) return fail(arg + " is given twice");
      given.push_back(arg);

      if (arg == "--help" || arg == "-h") {
        helpAsked = true;
      } else if (arg == "--version") {
        versionAsked = true;
      } else if (arg == "-q") {
        result.quiet = true;
      } else if (arg == "--store") {
        result.store = true;
      } else if (arg == "--no-verify") {
        result.verify = false;
      } else if (arg == "--dry-run") {
        result.dryRun = true;
      } else if (arg == "--from-profile") {
        result.fromProfile = true;
      } else {
        std::string value;
        if (inlineValue) {
          value = *inlineValue;
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          return fail(arg + " needs a value");
        }
        if (arg == "--profile") {
          if (value.empty()) return fail("--profile needs a file");
          result.profilePath = value;
        } else if (arg == "--port") {
          if (value.empty()) return fail("--port needs \"Com 1\"..\"Com 4\" or a device path");
          if (ComEntryNumber(value) == 0 && value.find('/') == std::string::npos) {
            return fail("--port takes \"Com 1\"..\"Com 4\" or a device path such as /dev/ttyUSB0, not \"" +
                        value + "\"");
          }
          result.port = value;
        } else if (arg == "--unit") {
          if (!ParseUnits(value, &result.units)) {
            return fail("--unit takes unit addresses 0-7 such as 3, 0,2,5 or 0-7, each once, not \"" + value +
                        "\"");
          }
        } else if (arg == "--sequence") {
          int sequence = 0;
          if (!ParseNumber(value, 1, 8, &sequence)) return fail("--sequence takes 1-8, not \"" + value + "\"");
          result.sequence = sequence;
        } else {
          if (value.empty()) return fail("-o needs a file, or - for standard output");
          result.output = value;
        }
      }
      continue;
    }
    if (!command) {
      for (const CommandInfo& c : kCommands) {
        if (arg == c.name) {
          command = c.command;
          info = &c;
        }
      }
      if (!command) return fail("unknown command \"" + arg + "\" (see --help)");
      continue;
    }
    positional.push_back(arg);
  }

  if (helpAsked) {
    result = CliArguments{};
    result.command = CliCommand::kHelp;
    return result;
  }
  if (versionAsked) {
    result = CliArguments{};
    result.command = CliCommand::kVersion;
    return result;
  }
  if (!command) return fail("no command given (see --help)");
  result.command = *command;
  const std::string name = info->name;

  for (const std::string& option : given) {
    if (option == "--profile" || option == "--port" || option == "-q") continue;
    const std::vector<std::string>& allowed = CommandOptions().at(*command);
    if (std::find(allowed.begin(), allowed.end(), option) == allowed.end()) {
      return fail(name + " does not take " + option);
    }
  }

  // write and verify take FILE or --from-profile, never both.
  int wanted = info->positionalCount;
  if ((*command == CliCommand::kWrite || *command == CliCommand::kVerify) && result.fromProfile) wanted = 0;
  if (static_cast<int>(positional.size()) > wanted) {
    if (wanted == 0 && result.fromProfile) return fail(name + " takes FILE or --from-profile, not both");
    return fail(name + " takes " + (wanted == 0 ? "no further arguments" : info->positional) + ", not also \"" +
                positional[wanted] + "\"");
  }
  if (static_cast<int>(positional.size()) < wanted) {
    if (*command == CliCommand::kWrite || *command == CliCommand::kVerify) {
      return fail(name + " needs a FILE of rows (or --from-profile)");
    }
    return fail(name + " needs " + info->positional);
  }

  switch (*command) {
    case CliCommand::kWrite:
    case CliCommand::kVerify:
      if (!result.fromProfile) result.file = positional[0];
      if (result.fromProfile && result.units.empty()) {
        return fail(name + " --from-profile needs --unit N[,N...]: the profile's rows name no unit");
      }
      if (!result.verify && result.dryRun) return fail("--dry-run sends nothing, so --no-verify means nothing");
      break;
    case CliCommand::kRead:
      if (result.units.size() != 1) return fail("read needs --unit N with one unit");
      break;
    case CliCommand::kStore:
    case CliCommand::kRun:
    case CliCommand::kStop:
      if (result.units.empty()) return fail(name + " needs --unit N[,N...]");
      break;
    case CliCommand::kSetAddress:
      if (result.units.size() != 1) return fail("set-address needs --unit N with one unit");
      if (!ParseNumber(positional[0], 0, 7, &result.value)) {
        return fail("set-address takes a NEW address 0-7, not \"" + positional[0] + "\"");
      }
      break;
    case CliCommand::kSetHighest:
      if (result.units.empty()) return fail("set-highest needs --unit N[,N...]");
      if (!ParseNumber(positional[0], 1, 8, &result.value)) {
        return fail("set-highest takes a VALUE 1-8, not \"" + positional[0] + "\"");
      }
      break;
    default:
      break;
  }
  return result;
}
