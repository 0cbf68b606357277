// Parsing the dimlet command line.
#include "app/command_line.h"

#include "app/version_info.h"

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      line.action = CommandLine::Action::kHelp;
      return line;
    }
    if (arg == "--version" || arg == "-V") {
      line.action = CommandLine::Action::kVersion;
      return line;
    }
    line.action = CommandLine::Action::kError;
    line.error = (!arg.empty() && arg[0] == '-' ? "unknown option \"" : "unexpected argument \"") + arg + "\"";
    return line;
  }
  return line;
}

std::string UsageText() {
  return "Usage: dimlet [--help | --version]\n"
         "Opens the operator window for LED intensity controller units on a serial line.\n"
         "The settings and the Com entries' devices are kept in the profile,\n"
         "$XDG_CONFIG_HOME/dimlet.ini or ~/.config/dimlet.ini.\n"
         "\n"
         "  -h, --help     show this text and exit\n"
         "  -V, --version  show the version and exit\n"
         "\n"
         "SIGTERM, SIGINT (Ctrl-C) and SIGHUP end it as Exit does: settings saved,\n"
         "port closed.\n";
}

std::string VersionText() { return std::string("dimlet ") + version::kVersion + "\n"; }
