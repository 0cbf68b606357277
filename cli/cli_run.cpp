// dimlet-cli's entry: the command line read, the command chosen and run, and
// the commands that send one frame per unit or list what is there.
#include "cli/cli_run.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "cli/cli_context.h"
#include "cli/cli_files.h"
#include "cli/row_file.h"
#include "device/adapter_tuning.h"
#include "device/link_words.h"
#include "device/serial_ports.h"
#include "settings/port_map.h"
#include "settings/unit_list.h"

#ifndef DIMLET_VERSION
#define DIMLET_VERSION "unknown"
#endif

namespace {

// The answer wait a link gives a line with `options`: theirs, or the protocol's.
int AnswerWaitOf(const LineOptions& options) {
  CSerialLink link;
  link.SetLineOptions(options);
  return link.AnswerWaitMs();
}

std::string OptionsWords(const LineOptions& options) {
  return "echo " + std::string(EchoModeText(options.echo)) + "\tanswer wait " +
         std::to_string(AnswerWaitOf(options)) + " ms\tRS-485 " + (options.rs485 ? "on" : "off");
}

// A trace onto standard output while it carries data (JSON results, read's
// rows, scan's list) would mix its lines into them: refused, as a trace over
// the profile or the row file is. "-" is standard error.
bool CheckTraceTarget(const CliArguments& args, std::string* error) {
  if (args.trace == "-" || !IsStandardOutput(args.trace)) return true;
  std::string data;
  if (args.json) {
    data = "the JSON results";
  } else if (args.command == CliCommand::kRead && IsStandardOutput(args.output)) {
    data = "the rows read";
  } else if (args.command == CliCommand::kScan) {
    data = "the list of units";
  } else {
    return true;
  }
  *error = "--trace " + args.trace + ": standard output, which carries " + data +
           "; the trace would mix into them (- sends it to standard error)";
  return false;
}

// A verb that sends an answered command would need a command of its own
// that reads the answer: none is generic.
constexpr bool NoVerbIsAnswered() {
  for (const unit_commands::UnitCommandSpec& row : unit_commands::kUnitCommands) {
    if (row.verb && row.confirmation == unit_commands::Confirmation::kAnswer) return false;
  }
  return true;
}
static_assert(NoVerbIsAnswered(), "a unit command that is answered is sent by a command of its own");

// The commands that work on lines; help, version and completion do not.
int Dispatch(CliContext& context) {
  switch (context.args.command) {
    case CliCommand::kPorts:
      return RunPorts(context);
    case CliCommand::kScan:
      return RunScan(context);
    case CliCommand::kRead:
      return RunRead(context);
    case CliCommand::kWrite:
    case CliCommand::kVerify:
      return RunWriteOrVerify(context);
    case CliCommand::kUnitCommand:
      switch (context.args.unitCommand->confirmation) {
        case unit_commands::Confirmation::kNone:
          return RunUnitCommand(context);
        case unit_commands::Confirmation::kNewAddress:
          return RunSetAddress(context);
        case unit_commands::Confirmation::kAnswer:
          break;  // none such (NoVerbIsAnswered)
      }
      break;
    case CliCommand::kReport:
      return RunReport(context);
    case CliCommand::kJournal:
      return RunJournal(context);
    case CliCommand::kHelp:
    case CliCommand::kVersion:
    case CliCommand::kComplete:
      break;
  }
  return context.Fail(kExitFailure, "no way to run " + CommandName(context.args));
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliStreams& streams) {
  const CliArguments parsed = ParseCliArguments(args);
  CliProfile profile;
  std::string outFault;
  CliContext context{parsed, streams, profile};
  context.outFault = &outFault;
  if (!parsed.error.empty()) return context.Fail(kExitUsage, parsed.error);

  int code = kExitDone;
  switch (parsed.command) {
    case CliCommand::kHelp:
      streams.out << (parsed.helpFor.empty() ? CliUsageText() : CommandUsageText(parsed.helpFor));
      break;
    case CliCommand::kVersion:
      streams.out << "dimlet-cli " << DIMLET_VERSION << '\n';
      break;
    case CliCommand::kComplete:
      streams.out << CompletionWords(parsed.words);
      break;
    case CliCommand::kPorts:
    case CliCommand::kScan:
    case CliCommand::kRead:
    case CliCommand::kWrite:
    case CliCommand::kVerify:
    case CliCommand::kUnitCommand:
    case CliCommand::kReport:
    case CliCommand::kJournal: {
      std::string error;
      if (!ReadCliProfile(parsed.profilePath, &profile, &error)) return context.Fail(kExitUsage, error);
      ByteTraceFile trace;
      CliJournal journal(DIMLET_VERSION);
      context.journal = &journal;
      if (!parsed.trace.empty()) {
        if (!CheckTraceTarget(parsed, &error)) return context.Fail(kExitUsage, error);
        // What this run reads, and read's rows: a trace over them would empty them.
        const std::vector<KeptFile> kept = {{profile.path, "the profile"},
                                            {parsed.file, "the row file"},
                                            {parsed.like, "the installation file"},
                                            {parsed.output, "where the rows go (-o)"}};
        if (!trace.Open(parsed.trace, kept, &error)) return context.Fail(kExitUsage, error);
        context.trace = &trace;
      }
      code = CloseTrace(context, Dispatch(context));
      break;
    }
  }
  // Data that did not reach standard output is work not done; a pipe whose
  // reader left, and that a command has already stopped for, is said once.
  errno = 0;
  streams.out.flush();
  if (!streams.out) {
    if (outFault.empty()) outFault = OutputFaultWords(errno);
    const int status = OutputFaultStatus(outFault);
    if (code != status || status == kExitFailure) code = Worse(code, context.Fail(status, outFault));
  }
  return code;
}

namespace {

// Whether a server answers is known only by connecting (within the bound of
// an open): "network: reached" and what the connection showed (its round
// trip, and whether that is too slow for the entry's answer wait), or why it
// could not be reached.
std::string NetworkLineState(const PortChoice& port, int entry) {
  CSerialLink link([&port](int32_t) { return port.path; });
  link.SetLineOptions(port.options);
  if (!link.OpenPort(entry, kLineBaud)) return "network: " + link_words::StateWords(link);
  const std::string notes = link_words::LineWords(link);
  return notes.empty() ? "network: reached" : "network: reached, " + notes;
}

}  // namespace

int RunPorts(const CliContext& base) {
  CliReport report(base.streams, base.args.quiet, base.args.json, {}, base.outFault);
  CliContext context = base;
  context.report = &report;
  const int chosen = ChoosePort(context.profile, "").comEntry;
  std::string error;
  const std::vector<SerialPortInfo> adapters = ListSerialPorts(&error);
  std::vector<std::string> mappedTo(adapters.size());
  // Standard output closed (| head -1) or a stop: the rest is not listed (a
  // network entry may take a second to reach).
  int code = kExitDone;
  std::string stopped;
  auto going = [&]() { return (code = StopStatus(context, &stopped)) == kExitDone; };
  for (int entry = 1; entry <= kComEntries && going(); ++entry) {
    const PortChoice port = ChoosePort(context.profile, ComEntryName(entry));
    const std::string state =
        port.Network() ? NetworkLineState(port, entry) : SerialDeviceThere(port.path) ? "there" : "missing";
    for (size_t a = 0; a < adapters.size(); ++a) {
      if (adapters[a].IsNamed(port.path)) mappedTo[a] += (mappedTo[a].empty() ? "" : ",") + ComEntryName(entry);
    }
    if (!report.Json()) {
      // A path from the profile and a server's words may hold control bytes.
      report.Data(ComEntryName(entry) + '\t' + Printable(port.path) + '\t' + Printable(state) + (entry == chosen ? "\tchosen" : "\t-") +
                  '\t' + OptionsWords(port.options) + '\n');
    }
    for (const ReplacedValue& value : port.unread) report.Message(0, UnreadWords(value));
    report.Result(0, {{"event", "com entry"},
                      {"entry", ComEntryName(entry)},
                      {"path", port.path},
                      {"state", state},
                      {"chosen", entry == chosen},
                      {"echo", EchoModeText(port.options.echo)},
                      {"answer_wait_ms", AnswerWaitOf(port.options)},
                      {"rs485", port.options.rs485}});
  }
  // What an adapter says of itself (its USB strings) is the adapter's to choose.
  auto shown = [](const std::string& text) { return text.empty() ? std::string("-") : Printable(text); };
  for (size_t a = 0; a < adapters.size() && going(); ++a) {
    const SerialPortInfo& port = adapters[a];
    const int latency = AdapterLatencyTimerMs(TtyNameOf(port.devNode));
    if (!report.Json()) {
      report.Data("adapter\t" + Printable(port.devNode) + '\t' + shown(port.byId) + '\t' + shown(port.manufacturer) + '\t' +
                  shown(port.product) + '\t' + shown(port.vendorProduct) + '\t' + shown(port.serial) + '\t' +
                  (latency >= 0 ? "latency " + std::to_string(latency) + " ms" : "latency -") + '\t' +
                  shown(mappedTo[a]) + '\n');
    }
    report.Result(0, {{"event", "adapter"},
                      {"path", port.devNode},
                      {"by_id", port.byId},
                      {"manufacturer", port.manufacturer},
                      {"product", port.product},
                      {"usb_id", port.vendorProduct},
                      {"serial", port.serial},
                      {"latency_ms", latency >= 0 ? nlohmann::json(latency) : nlohmann::json()},
                      {"com_entry", mappedTo[a]}});
  }
  if (!error.empty()) report.Message(0, "serial adapters could not be listed: " + error);
  // An output that failed otherwise is said once, at the end of the run.
  if (code > 128) report.Message(0, stopped + "; the rest is not listed");
  report.ClosingResult(
      {{"event", "summary"}, {"command", "ports"}, {"com_entries", kComEntries}, {"adapters", adapters.size()},
       {"exit", code}});
  return code;
}

int RunScan(const CliContext& base) {
  // An installation file names the lines to scan; its rows are not looked at.
  RowFile file;
  if (!base.args.file.empty()) {
    int code = kExitDone;
    if (!LoadRowFile(base, base.args.file, &file, &code)) return code;
    const std::string name = base.args.file == "-" ? "stdin" : base.args.file;
    if (!file.hasLineColumn) {
      return base.Fail(kExitUsage, name + " names no lines (it has no line column): give them as --port LINE --port LINE");
    }
    if (!base.args.ports.empty()) return base.Fail(kExitUsage, name + " names its lines in the line column; leave out --port");
  }
  std::vector<PortChoice> lines;
  std::string error;
  if (!ChooseLines(base, file.lineNames, &lines, &error)) return base.Fail(kExitUsage, error);
  std::vector<std::string> labels;
  for (const PortChoice& line : lines) labels.push_back(line.label);
  CliReport report(base.streams, base.args.quiet, base.args.json, labels, base.outFault);
  CliContext context = base;
  context.report = &report;
  const bool several = lines.size() > 1;

  const int code = WorkLines(context, lines, [&](LineSession& line) {
    if (!line.Open()) return static_cast<int>(kExitPortNotOpen);
    const std::vector<int32_t> present =
        unit_operations::ScanUnits(line.Link(), [&line](int done, int total) {
          line.Context().report->Progress(line.Index(), "scanning: address " + std::to_string(done - 1) + " (" +
                                                            std::to_string(done) + " of " + std::to_string(total) +
                                                            ")");
        });
    report.EndProgress();
    if (!line.CheckFrames("scan").empty()) return static_cast<int>(kExitFailure);
    std::string text;
    for (int32_t unit : present) text += (several ? line.Port().label + '\t' : "") + std::to_string(unit) + '\n';
    report.Data(line.Index(), text);
    line.Result({{"event", "scan"}, {"units", present}});
    line.Counts().units += static_cast<int>(present.size());
    line.Counts().done += static_cast<int>(present.size());
    if (!present.empty()) return static_cast<int>(kExitDone);
    line.Message(line.Port().name + ": no unit answers. " + NoUnitCauses(line.Link()));
    return static_cast<int>(kExitNoAnswer);
  });
  return Summarize(context, "", true, code);
}

int RunUnitCommand(const CliContext& base) {
  const CliArguments& args = base.args;
  std::vector<PortChoice> lines;
  std::string error;
  if (!ChooseLines(base, {}, &lines, &error)) return base.Fail(kExitUsage, error);
  std::vector<std::string> labels;
  for (const PortChoice& line : lines) labels.push_back(line.label);
  CliReport report(base.streams, args.quiet, args.json, labels, base.outFault);
  CliContext context = base;
  context.report = &report;

  const unit_commands::UnitCommandSpec& command = *args.unitCommand;
  const std::string told = unit_commands::Words(command.told, args.value);  // what each unit was told
  const std::vector<int32_t> values(command.argumentCount, args.value);

  const int code = WorkLines(context, lines, [&](LineSession& line) {
    line.Counts().units += static_cast<int>(args.units.size());
    if (!line.Open()) {
      line.Counts().notReached += static_cast<int>(args.units.size());
      return static_cast<int>(kExitPortNotOpen);
    }
    for (size_t u = 0; u < args.units.size(); ++u) {
      const int unit = args.units[u];
      const std::vector<int> left(args.units.begin() + static_cast<long>(u), args.units.end());
      const int stopped = line.CheckStop("not sent to unit " + UnitListText(left));
      if (stopped != kExitDone) {
        line.Counts().notReached += static_cast<int>(left.size());
        return stopped;
      }
      line.Link().SendCommand(command.frame(unit, values));
      const bool sent = line.CheckFrames("unit " + std::to_string(unit) + ": " + command.verb).empty();
      JournalEntry entry = JournalFor(unit, "", unit_commands::JournalName(command.command), sent ? "sent" : "not sent");
      if (command.argumentCount > 0) entry.value = args.value;
      line.Journal(entry);
      if (!sent) {
        line.Counts().notReached += static_cast<int>(left.size());
        line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "not sent"}});
        return static_cast<int>(kExitFailure);
      }
      ++line.Counts().done;
      line.Say("unit " + std::to_string(unit) + ": " + told);
      line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "sent"}, {"command", command.verb}});
    }
    return static_cast<int>(kExitDone);
  });
  return Summarize(context, told, false, code);
}

int RunSetAddress(const CliContext& base) {
  const CliArguments& args = base.args;
  std::vector<PortChoice> lines;
  std::string error;
  if (!ChooseLines(base, {}, &lines, &error)) return base.Fail(kExitUsage, error);
  CliReport report(base.streams, args.quiet, args.json, {lines[0].label}, base.outFault);
  CliContext context = base;
  context.report = &report;
  const unit_commands::UnitCommandSpec& command = *args.unitCommand;
  const int unit = args.units[0];
  const int wanted = args.value;

  const int code = WorkLines(context, lines, [&](LineSession& line) {
    ++line.Counts().units;
    if (!line.Open()) {
      ++line.Counts().notReached;
      return static_cast<int>(kExitPortNotOpen);
    }
    auto answers = [&line](int address) {
      const std::vector<CSerialLink::RowAnswer> answer = unit_operations::ReadRows(line.Link(), address, {0});
      return !answer.empty() && answer[0].arrived > 0;
    };
    const std::string at = "address " + std::to_string(wanted);
    if (!args.force) {
      const bool taken = answers(wanted);
      if (!line.CheckFrames("the check of " + at).empty()) return static_cast<int>(kExitFailure);
      if (taken) {
        line.Message("a unit already answers at " + at + "; two units would share it (--force gives it all the "
                     "same). Nothing was sent");
        line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "refused"}, {"address", wanted}});
        return static_cast<int>(kExitFailure);
      }
    }
    const std::array<int32_t, 1> values = {wanted};
    line.Link().SendCommand(command.frame(unit, values));
    JournalEntry entry = JournalFor(unit, "", unit_commands::JournalName(command.command), "");
    entry.value = wanted;
    if (!line.CheckFrames("unit " + std::to_string(unit) + ": " + command.verb).empty()) {
      entry.outcome = "not sent";
      line.Journal(entry);
      return static_cast<int>(kExitFailure);
    }
    // Told below, once the address was checked: the outcome as said.
    auto journal = [&line, &entry](const char* outcome) {
      entry.outcome = outcome;
      line.Journal(entry);
    };
    const bool moved = answers(wanted);
    if (!line.CheckFrames("the check of " + at).empty()) {
      journal("sent, not checked");
      return static_cast<int>(kExitFailure);
    }
    // An answer at the new address proves nothing when another unit held it
    // (--force): only silence at the old one shows that the unit moved.
    const bool stayed = answers(unit);
    if (!line.CheckFrames("the check of address " + std::to_string(unit)).empty()) {
      journal("sent, not checked");
      return static_cast<int>(kExitFailure);
    }
    if (moved && !stayed) {
      ++line.Counts().done;
      line.Say("unit " + std::to_string(unit) + ": " + unit_commands::Words(command.told, wanted));
      line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "address changed"}, {"address", wanted}});
      journal("address changed");
      return static_cast<int>(kExitDone);
    }
    if (moved) {
      line.Message("unit " + std::to_string(unit) + ": still answers at address " + std::to_string(unit) +
                   " after the change; the answer at " + at + " is another unit's");
      line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "not changed"}, {"address", wanted}});
      journal("not changed");
      return static_cast<int>(kExitFailure);
    }
    line.Message("unit " + std::to_string(unit) + ": no unit answers at " + at + " after the change; " +
                 (stayed ? "a unit still answers at address " + std::to_string(unit)
                         : "none answers at address " + std::to_string(unit) + " either"));
    line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "no answer"}, {"address", wanted},
                 {"old_address_answers", stayed}});
    journal("no answer");
    ++line.Counts().noAnswer;
    return static_cast<int>(kExitNoAnswer);
  });
  return Summarize(context, "", false, code);
}
