// dimlet-cli's entry: the command line read, the profile and the trace
// opened, the command chosen and run, and the end of standard output checked.
#include "cli/cli_run.h"

#include <atomic>
#include <cerrno>
#include <ostream>

#include "cli/cli_commands.h"
#include "cli/cli_files.h"

#ifndef DIMLET_VERSION
#define DIMLET_VERSION "unknown"
#endif

namespace {

// A trace onto standard output while it carries data (JSON results, read's
// rows, scan's list) would mix its lines into them: refused, as a trace over
// the profile or the row file is. "-" is standard error.
CliChecked CheckTraceTarget(const CliArguments& args) {
  if (args.trace == "-" || !IsStandardOutput(args.trace)) return {};
  std::string data;
  if (args.json) {
    data = "the JSON results";
  } else if (args.command == CliCommand::kRead && IsStandardOutput(args.output)) {
    data = "the rows read";
  } else if (args.command == CliCommand::kScan) {
    data = "the list of units";
  } else if (args.command == CliCommand::kCheck) {
    data = "the line check";
  } else {
    return {};
  }
  return UsageFailure("--trace " + args.trace + ": standard output, which carries " + data +
                      "; the trace would mix into them (- sends it to standard error)");
}

// A verb that sends an answered command would need a command of its own
// that reads the answer: none is generic.
constexpr bool NoVerbIsAnswered() {
  for (const unit_commands::UnitCommandRow& row : unit_commands::kUnitCommands) {
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
    case CliCommand::kCheck:
      return RunCheck(context);
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
  return context.Fail(WorkFailure("no way to run " + CommandName(context.args)));
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliStreams& streams) {
  const CliArguments parsed = ParseCliArguments(args);
  CliProfile profile;
  std::string outFault;
  std::atomic<bool> outFaultSaid = false;
  CliContext context{parsed, streams, profile};
  context.outFault = &outFault;
  context.outFaultSaid = &outFaultSaid;
  if (parsed.failure) return context.Fail(*parsed.failure);

  // The texts that need no line; why they did not go out is known only by
  // the errno of the write that failed (a reader that left: EPIPE).
  const auto put = [&](const std::string& text) {
    errno = 0;
    streams.out << text << std::flush;
    if (!streams.out) outFault = OutputFaultWords(errno);
  };
  int code = kExitDone;
  switch (parsed.command) {
    case CliCommand::kHelp:
      put(parsed.helpFor.empty() ? CliUsageText() : CommandUsageText(parsed.helpFor));
      break;
    case CliCommand::kVersion:
      put(std::string("dimlet-cli ") + DIMLET_VERSION + '\n');
      break;
    case CliCommand::kComplete:
      put(CompletionWords(parsed.words));
      break;
    case CliCommand::kPorts:
    case CliCommand::kScan:
    case CliCommand::kCheck:
    case CliCommand::kRead:
    case CliCommand::kWrite:
    case CliCommand::kVerify:
    case CliCommand::kUnitCommand:
    case CliCommand::kReport:
    case CliCommand::kJournal: {
      if (const CliChecked failed = ReadCliProfile(parsed.profilePath, &profile)) return context.Fail(*failed);
      ByteTraceFile trace;
      CliJournal journal(DIMLET_VERSION, parsed.technician);
      context.journal = &journal;
      if (!parsed.trace.empty()) {
        if (const CliChecked failed = CheckTraceTarget(parsed)) return context.Fail(*failed);
        // What this run reads or appends to, and read's rows: a trace over
        // them would empty them.
        const std::vector<KeptFile> kept = {{profile.path, "the profile"},
                                            {JournalPath(), "the journal"},
                                            {parsed.file, "the row file"},
                                            {parsed.like, "the installation file"},
                                            {parsed.output, "where the rows go (-o)"}};
        if (const CliChecked failed = trace.Open(parsed.trace, kept)) return context.Fail(*failed);
        context.trace = &trace;
      }
      code = CloseTrace(context, Dispatch(context));
      break;
    }
  }
  // Data that did not reach standard output is work not done; a pipe whose
  // reader left, or a full disk, that a command has already stopped for is
  // said once.
  errno = 0;
  streams.out.flush();
  if (!streams.out) {
    if (outFault.empty()) outFault = OutputFaultWords(errno);
    const int status = OutputFaultStatus(outFault);
    const bool said = code == status && (status != kExitFailure || outFaultSaid);
    if (!said) code = WorseExitStatus(code, context.Fail({status, outFault}));
  }
  return code;
}

