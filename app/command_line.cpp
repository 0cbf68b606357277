// Parsing the dimlet command line.
#include "app/command_line.h"

#include <string_view>

#include "app/version_info.h"

namespace {

constexpr std::string_view kTrace = "--trace";

CommandLine Refused(const std::string& error) {
  CommandLine line;
  line.action = CommandLine::Action::kError;
  line.error = error;
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  bool traced = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == kTrace || arg.starts_with(std::string(kTrace) + "=")) {
      if (traced) return Refused("--trace given twice");
      std::string path;
      if (arg == kTrace) {
        if (i + 1 >= args.size()) return Refused("--trace needs a file, or - for standard error");
        path = args[++i];
      } else {
        path = arg.substr(kTrace.size() + 1);
      }
      if (path.empty()) return Refused("--trace needs a file, or - for standard error");
      line.tracePath = path;
      traced = true;
      continue;
    }
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
  return "Usage: dimlet [--trace FILE] | --help | --version\n"
         "Opens the operator window for LED intensity controller units on a serial line.\n"
         "The settings and the Com entries' devices are kept in the profile,\n"
         "$XDG_CONFIG_HOME/dimlet.ini or ~/.config/dimlet.ini.\n"
         "\n"
         "  --trace FILE   write every byte sent and received to FILE (- for standard\n"
         "                 error): time in µs, sent or received, hex value, device\n"
         "  -h, --help     show this text and exit\n"
         "  -V, --version  show the version and exit\n"
         "\n"
         "SIGTERM, SIGINT (Ctrl-C) and SIGHUP end it as Exit does: settings saved,\n"
         "port closed.\n";
}

std::string VersionText() { return std::string("dimlet ") + version::kVersion + "\n"; }
