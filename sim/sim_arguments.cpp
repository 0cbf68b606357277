// Parsing the dimlet-sim command line.
#include "sim/sim_arguments.h"

#include <charconv>

#include "settings/unit_list.h"

namespace sim {

SimArguments ParseSimArguments(const std::vector<std::string>& args) {
  SimArguments result;
  auto fail = [&result](const std::string& why) {
    result = SimArguments{};
    result.error = why;
    return result;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      result.help = true;
      return result;
    }
    if (arg == "--version" || arg == "-V") {
      result.version = true;
      return result;
    }
    if (arg == "--silent") {
      result.options.silent = true;
      continue;
    }
    if (arg == "--echo") {
      result.options.echo = true;
      continue;
    }
    const bool takesValue = arg == "--link" || arg == "--units" || arg == "--state" ||
                            arg == "--delay" || arg == "--latency" || arg == "--answer-bytes";
    if (!takesValue) return fail("unknown option \"" + arg + "\" (see --help)");
    if (i + 1 >= args.size()) return fail(arg + " needs a value");
    const std::string& value = args[++i];
    std::string why;
    if (arg == "--link") {
      if (value.empty()) return fail("--link needs a path");
      result.options.linkPath = value;
    } else if (arg == "--state") {
      if (value.empty()) return fail("--state needs a path");
      result.options.stateFile = value;
    } else if (arg == "--units") {
      if (!ParseUnitList(value, &result.options.units, &why)) return fail(why);
    } else if (arg == "--delay") {
      if (!ParseNumberIn(value, 0, 60'000, &result.options.answerDelayMs)) {
        return fail("--delay takes milliseconds 0-60000, not \"" + value + "\"");
      }
    } else if (arg == "--latency") {
      if (!ParseNumberIn(value, 0, 1000, &result.options.latencyMs)) {
        return fail("--latency takes milliseconds 0-1000, not \"" + value + "\"");
      }
    } else if (!ParseNumberIn(value, 0, 4, &result.options.answerBytes)) {
      return fail("--answer-bytes takes 0-4, not \"" + value + "\"");
    }
  }
  return result;
}

std::string UsageText() {
  return "Usage: dimlet-sim [options]\n"
         "Simulates LED controller units on a pseudo-terminal. Prints the terminal's\n"
         "path, then one line per frame received. Stop it with Ctrl-C.\n"
         "\n"
         "  --link PATH        also make a symbolic link to the terminal at PATH\n"
         "                     (an existing symbolic link is replaced, a file is not)\n"
         "  --units LIST       unit addresses present, e.g. 0-7 (default), 0,2,5, 0-2,6\n"
         "  --state FILE       keep the units' stored rows in FILE across runs\n"
         "  --delay MS         answer read-row frames after MS milliseconds\n"
         "  --latency MS       hold answer bytes back like a USB adapter's latency\n"
         "                     timer: released together MS milliseconds after the\n"
         "                     first (an FTDI adapter's default is 16)\n"
         "  --answer-bytes N   send only the first N (0-4) bytes of each answer\n"
         "  --silent           never answer\n"
         "  --echo             return every byte received, as a two-wire RS-485\n"
         "                     adapter does\n"
         "  -h, --help         show this text and exit\n"
         "  -V, --version      show the version and exit\n"
         "\n"
         "Signals: SIGUSR1 hangs the line up (the terminal goes away),\n"
         "SIGUSR2 reconnects on a new terminal behind the same link.\n";
}

}  // namespace sim
