// dimlet-cli's help texts and completion words, made from the tables of
// cli_options so that they name every option the parser takes.
#include <algorithm>

#include "cli/cli_arguments.h"
#include "cli/cli_options.h"
#include "settings/port_map.h"

namespace {

constexpr size_t kHelpColumn = 26;
constexpr size_t kWidth = 79;

// "  -o, --output FILE" and the help beside it, folded at kWidth.
std::string OptionLines(const OptionSpec& entry) {
  std::string head = "  ";
  if (entry.shortName) head += std::string("-") + entry.shortName + ", ";
  head += entry.name;
  if (entry.valueName) head += std::string(" ") + entry.valueName;
  std::string text;
  std::string line = head;
  if (line.size() + 1 >= kHelpColumn) {
    text += line + '\n';
    line.clear();
  }
  line.resize(kHelpColumn, ' ');
  size_t begin = 0;
  const std::string help = entry.help;
  while (begin < help.size()) {
    size_t end = help.find(' ', begin);
    if (end == std::string::npos) end = help.size();
    const std::string word = help.substr(begin, end - begin);
    if (line.size() > kHelpColumn && line.size() + 1 + word.size() > kWidth) {
      text += line + '\n';
      line = std::string(kHelpColumn, ' ');
    }
    if (line.size() > kHelpColumn) line += ' ';
    line += word;
    begin = end + 1;
  }
  return text + line + '\n';
}

std::string CommandLine(const CommandSpec& entry) {
  std::string line = "  " + entry.name;
  if (!entry.arguments.empty()) line += " " + entry.arguments;
  line.resize(std::max(line.size() + 1, kHelpColumn), ' ');
  return line + entry.summary + '\n';
}

const char* const kExitText =
    "Exit status: 0 done; 1 other failure (the line lost or held, a frame that did\n"
    "not leave whole, output that could not be written); 2 usage or bad file,\n"
    "nothing sent; 3 a port could not be opened; 4 a unit did not answer; 5 a unit\n"
    "holds other rows; 128+N stopped by signal N between units (130 Ctrl-C).\n";

}  // namespace

std::string CliUsageText() {
  std::string text =
      "Usage: dimlet-cli [options] COMMAND [arguments]\n"
      "Programs LED controller units on the serial lines that Dimlet uses, from a shell.\n"
      "\nCommands:\n";
  for (const CommandSpec& entry : CommandSpecs()) {
    if (!entry.summary.empty()) text += CommandLine(entry);
  }
  text += "\nOptions (\"dimlet-cli help COMMAND\" shows which a command takes):\n";
  for (const OptionSpec& entry : OptionSpecs()) text += OptionLines(entry);
  text +=
      "\nRow file: a header naming the columns [line,][unit,]sequence,ch1,ch2,ch3,ch4[,label]\n"
      "in any order, one row per line, # comments, blank lines. Without the unit column\n"
      "--unit names the units; the line column (\"Com 2\", a device path) makes one file\n"
      "a whole installation, the label column names its units (\"Stage left, wash\" in\n"
      "quotes); \"# site: NAME\", \"# company: NAME\" and \"# technician: NAME\" name the\n"
      "site and who works on it. Commands that change units are kept in the journal\n"
      "(DIMLET_JOURNAL).\n\n";
  return text + kExitText;
}

std::string CommandUsageText(const std::string& command) {
  const CommandSpec* info = FindCommand(command);
  if (!info || info->summary.empty()) return {};
  std::string text = "Usage: dimlet-cli " + info->name + " [options]";
  if (!info->arguments.empty()) text += " " + info->arguments;
  text += "\n" + info->summary + "\n\nOptions:\n";
  for (const OptionSpec& option : OptionSpecs()) {
    if (Takes(*info, option)) text += OptionLines(option);
  }
  return text + '\n' + kExitText;
}

std::string CompletionWords(const std::vector<std::string>& words) {
  const std::string current = words.empty() ? "" : words.back();
  const CommandSpec* command = nullptr;
  const OptionSpec* valueOf = nullptr;  // the option the current word is the value of
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    const OptionSpec* option = FindOption(words[i]);
    if (option) {
      if (option->valueName && i + 2 < words.size()) ++i;
      else if (option->valueName) valueOf = option;
      continue;
    }
    if (!command) command = FindCommand(words[i]);
  }

  std::vector<std::string> offered;
  if (valueOf) {
    switch (valueOf->words) {
      case ValueWords::kFiles:
        offered.push_back("@files");
        break;
      case ValueWords::kLines:
        for (int entry = 1; entry <= kComEntries; ++entry) offered.push_back(ComEntryName(entry));
        offered.push_back("@files");
        break;
      case ValueWords::kEcho:
        offered = {"auto", "on", "off"};
        break;
      case ValueWords::kNone:
        break;
    }
  } else if (current.rfind("-", 0) == 0) {
    for (const OptionSpec& option : OptionSpecs()) {
      if (!command || Takes(*command, option)) offered.push_back(option.name);
    }
  } else if (!command) {
    for (const CommandSpec& entry : CommandSpecs()) {
      if (!entry.summary.empty()) offered.push_back(entry.name);
    }
  } else if (command->command == CliCommand::kWrite || command->command == CliCommand::kVerify ||
             command->command == CliCommand::kScan || command->command == CliCommand::kCheck ||
             command->command == CliCommand::kReport) {
    offered.push_back("@files");
  } else if (command->command == CliCommand::kHelp) {
    for (const CommandSpec& entry : CommandSpecs()) {
      if (!entry.summary.empty()) offered.push_back(entry.name);
    }
  }
  std::string text;
  for (const std::string& word : offered) {
    if (word == "@files" || word.rfind(current, 0) == 0) text += word + '\n';
  }
  return text;
}
