// Parsing the dimlet-sim command line.
#include "sim/sim_arguments.h"

#include <algorithm>
#include <charconv>

#include "settings/unit_list.h"

namespace sim {
namespace {

// "PORT", "HOST:PORT" or "[IPv6]:PORT"; the host is loopback unless named.
bool ParseListenAddress(const std::string& value, SimOptions* options, std::string* why) {
  std::string host = "127.0.0.1";
  std::string port = value;
  const size_t colon = value.rfind(':');
  if (colon != std::string::npos) {
    host = value.substr(0, colon);
    port = value.substr(colon + 1);
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed) host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of(bracketed ? "[]" : "[]:") != std::string::npos) {
      *why = "--listen takes PORT or HOST:PORT (an IPv6 address in brackets), not \"" + value + "\"";
      return false;
    }
  }
  if (!ParseNumberIn(port, 0, 65535, &options->listenPort)) {
    *why = "--listen takes a port 0-65535 (0: any free one), not \"" + port + "\"";
    return false;
  }
  options->listenHost = host;
  return true;
}

}  // namespace

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
    const bool takesValue = arg == "--link" || arg == "--listen" || arg == "--units" || arg == "--state" ||
                            arg == "--delay" || arg == "--latency" || arg == "--answer-bytes" || arg == "--shared";
    if (!takesValue) return fail("unknown option \"" + arg + "\" (see --help)");
    if (i + 1 >= args.size()) return fail(arg + " needs a value");
    const std::string& value = args[++i];
    std::string why;
    if (arg == "--link") {
      if (value.empty()) return fail("--link needs a path");
      result.options.linkPath = value;
    } else if (arg == "--listen") {
      if (!ParseListenAddress(value, &result.options, &why)) return fail(why);
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
    } else if (arg == "--shared") {
      if (!ParseNumberIn(value, 0, 7, &result.options.sharedAddress)) {
        return fail("--shared takes a unit address 0-7, not \"" + value + "\"");
      }
    } else if (!ParseNumberIn(value, 0, 4, &result.options.answerBytes)) {
      return fail("--answer-bytes takes 0-4, not \"" + value + "\"");
    }
  }
  const std::vector<int>& units = result.options.units;
  const int shared = result.options.sharedAddress;
  if (shared >= 0 && std::find(units.begin(), units.end(), shared) == units.end()) {
    return fail("--shared " + std::to_string(shared) + ": no unit at that address (--units " + UnitListText(units) + ")");
  }
  if (result.options.listenPort >= 0 && !result.options.linkPath.empty()) {
    return fail("--link names a pseudo-terminal; with --listen the line is reached by its address");
  }
  return result;
}

std::string UsageText() {
  return "Usage: dimlet-sim [options]\n"
         "Simulates LED controller units on a pseudo-terminal (Linux), or over raw\n"
         "TCP with --listen. Prints where the line is, then one line per frame\n"
         "received. Stop it with Ctrl-C.\n"
         "\n"
         "  --listen [HOST:]PORT\n"
         "                     serve the line over raw TCP instead, one client at a\n"
         "                     time, for tcp://HOST:PORT; HOST is 127.0.0.1 unless\n"
         "                     named (0.0.0.0 reaches it from other machines), PORT 0\n"
         "                     takes any free port. The only way on Windows\n"
         "  --link PATH        also make a symbolic link to the terminal at PATH\n"
         "                     (an existing symbolic link is replaced, a file is not)\n"
         "  --units LIST       unit addresses present, e.g. 0-7 (default), 0,2,5, 0-2,6\n"
         "  --state FILE       keep the units' stored rows in FILE across runs\n"
         "  --delay MS         answer read-row frames after MS milliseconds\n"
         "  --latency MS       hold answer bytes back like a USB adapter's latency\n"
         "                     timer: released together MS milliseconds after the\n"
         "                     first (an FTDI adapter's default is 16)\n"
         "  --answer-bytes N   send only the first N (0-4) bytes of each answer\n"
         "  --shared ADDRESS   a second unit at ADDRESS: the two answer together, a\n"
         "                     little apart and by a different step each read, and\n"
         "                     their bytes garble as on a real bus\n"
         "  --silent           never answer\n"
         "  --echo             return every byte received, as a two-wire RS-485\n"
         "                     adapter does\n"
         "  -h, --help         show this text and exit\n"
         "  -V, --version      show the version and exit\n"
         "\n"
         "Signals (Linux): SIGUSR1 hangs the line up (the terminal goes away, or the\n"
         "TCP client is disconnected), SIGUSR2 reconnects on a new terminal behind\n"
         "the same link.\n";
}

}  // namespace sim
