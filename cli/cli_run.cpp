// dimlet-cli's entry: the command line read, the command chosen and run, and
// the commands that send one frame per unit or list what is there.
#include "cli/cli_run.h"

#include <sys/stat.h>

#include <ostream>

#include "cli/cli_context.h"
#include "device/link_words.h"
#include "device/network_address.h"

#ifndef DIMLET_VERSION
#define DIMLET_VERSION "unknown"
#endif

int RunCli(const std::vector<std::string>& args, const CliStreams& streams) {
  const CliArguments parsed = ParseCliArguments(args);
  CliContext context{parsed, streams, CliProfilePath(parsed.profilePath)};
  if (!parsed.error.empty()) return context.Fail(kExitUsage, parsed.error);

  switch (parsed.command) {
    case CliCommand::kHelp:
      streams.out << CliUsageText() << std::flush;
      return kExitDone;
    case CliCommand::kVersion:
      streams.out << "dimlet-cli " << DIMLET_VERSION << '\n' << std::flush;
      return kExitDone;
    case CliCommand::kPorts:
      return RunPorts(context);
    case CliCommand::kScan:
      return RunScan(context);
    case CliCommand::kRead:
      return RunRead(context);
    case CliCommand::kWrite:
    case CliCommand::kVerify:
      return RunWriteOrVerify(context);
    case CliCommand::kStore:
    case CliCommand::kRun:
    case CliCommand::kStop:
    case CliCommand::kSetAddress:
    case CliCommand::kSetHighest:
      return RunUnitCommand(context);
  }
  return context.Fail(kExitFailure, "no such command");
}

namespace {

// Whether a server answers is known only by connecting (within the bound of
// an open): "reached" and what the connection showed (its round trip, and
// whether it is too slow for the answers), or why it could not be reached.
std::string NetworkLineState(const std::string& address, int entry) {
  CSerialLink link([&address](int32_t) { return address; });
  if (!link.OpenPort(entry, kLineBaud)) return link_words::StateWords(link);
  const std::string notes = link_words::LineWords(link);
  return notes.empty() ? "reached" : "reached, " + notes;
}

}  // namespace

int RunPorts(const CliContext& context) {
  const int chosen = ChoosePort(context.profilePath, "").comEntry;
  for (int entry = 1; entry <= 4; ++entry) {
    const PortChoice port = ChoosePort(context.profilePath, "Com " + std::to_string(entry));
    struct stat info{};
    const bool there = stat(port.path.c_str(), &info) == 0;
    context.streams.out << "Com " << entry << '\t' << port.path << '\t'
                        << (IsNetworkAddress(port.path) ? NetworkLineState(port.path, entry)
                                                        : there ? "there" : "missing")
                        << (entry == chosen ? "\tchosen" : "") << '\n';
  }
  context.streams.out << std::flush;
  return kExitDone;
}

int RunScan(const CliContext& context) {
  CSerialLink link;
  PortChoice port;
  int code = kExitDone;
  if (!OpenChosenPort(context, link, &port, &code)) return code;
  const std::vector<int32_t> present = unit_operations::ScanUnits(link, [&context](int done, int total) {
    context.Progress("scanning: address " + std::to_string(done - 1) + " (" + std::to_string(done) + " of " +
                     std::to_string(total) + ")");
  });
  context.EndProgress();
  code = CheckLineKept(context, link, port, kExitDone);
  if (code != kExitDone) return code;
  for (int32_t unit : present) context.streams.out << unit << '\n';
  context.streams.out << std::flush;
  return kExitDone;
}

int RunUnitCommand(const CliContext& context) {
  const CliArguments& args = context.args;
  CSerialLink link;
  PortChoice port;
  int code = kExitDone;
  if (!OpenChosenPort(context, link, &port, &code)) return code;
  for (int unit : args.units) {
    code = CheckStop(context, "not sent to unit " + std::to_string(unit) + " and any after it");
    if (code != kExitDone) return code;
    std::string done;
    switch (args.command) {
      case CliCommand::kStore:
        link.StoreOnUnit(unit);
        done = "told to store its rows";
        break;
      case CliCommand::kRun:
        link.SetRunState(unit, 1);
        done = "told to run";
        break;
      case CliCommand::kStop:
        link.SetRunState(unit, 0);
        done = "told to stop";
        break;
      case CliCommand::kSetAddress:
        link.ChangeAddress(unit, args.value);
        done = "given the address " + std::to_string(args.value);
        break;
      default:
        link.SetHighestSequence(unit, static_cast<uint8_t>(args.value));
        done = "given the highest sequence " + std::to_string(args.value);
        break;
    }
    code = CheckLineKept(context, link, port, kExitDone);
    if (code != kExitDone) return code;
    context.Say("unit " + std::to_string(unit) + ": " + done);
  }
  return kExitDone;
}
