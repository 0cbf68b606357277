// The report command: each line of an installation scanned, every unit it
// plans or that answers read whole, and the handover page (or its JSON)
// written. Nothing is sent to a unit but scans and reads.
#include <algorithm>
#include <atomic>
#include <ctime>
#include <mutex>
#include <string_view>

#include "cli/cli_commands.h"
#include "cli/cli_files.h"
#include "cli/handover_report.h"
#include "cli/printable.h"
#include "cli/stop_signals.h"
#include "device/link_words.h"
#include "device/serial_ports.h"
#include "settings/journal.h"
#include "settings/whole_file.h"

namespace {

std::string SiteName(const RowFile& file, const std::string& name) {
  if (!file.site.empty()) return Printable(file.site);
  return name.substr(name.find_last_of("/\\") + 1);
}

// What the line's adapter and link tell of it, for the page.
void PutLineFacts(const CSerialLink& link, const PortChoice& port, const std::vector<SerialPortInfo>& adapters,
                  ReportLine* page) {
  for (const SerialPortInfo& adapter : adapters) {
    if (!adapter.IsNamed(port.path)) continue;
    if (!adapter.product.empty()) page->adapter = Printable(adapter.manufacturer + " " + adapter.product);
    page->usbId = adapter.vendorProduct;
    page->serialNumber = Printable(adapter.serial);
  }
  page->echoes = link.Echoes();
  page->answerWaitMs = link.AnswerWaitMs();
  page->answerWaitWhy = link.AnswerWaitWhy();
  page->notes = Printable(link.LineNotes());
}

// The time of the report in the computer's own zone, with the zone and its
// offset, and in UTC: "2026-12-08 21:15 CET (+0100)", "2026-12-08 20:15 UTC".
// Read before the lines' threads start: std::localtime's result is shared.
std::pair<std::string, std::string> ReportTimes(std::time_t now) {
  char local[80] = "";
  char utc[40] = "";
  if (const std::tm* zoned = std::localtime(&now)) std::strftime(local, sizeof local, "%Y-%m-%d %H:%M %Z (%z)", zoned);
  if (const std::tm* plain = std::gmtime(&now)) std::strftime(utc, sizeof utc, "%Y-%m-%d %H:%M UTC", plain);
  // A computer kept on UTC: its time is said once.
  if (std::string_view(local).ends_with(" UTC (+0000)")) return {utc, utc};
  return {Printable(local), utc};
}

// "not open: no such device" as the reason after "could not be opened".
std::string NotOpenWords(const CSerialLink& link) {
  constexpr std::string_view kNotOpen = "not open: ";
  std::string words = link_words::StateWords(link);
  if (std::string_view(words).substr(0, kNotOpen.size()) == kNotOpen) words.erase(0, kNotOpen.size());
  return words;
}

// Why the line failed, in the window's words: gone, or how its last frame
// went.
std::string LineFaultWords(const CSerialLink& link) {
  return link.IsPortOpen() ? link_words::FrameWords(link) : link_words::FaultWords(link.LastFault());
}

}  // namespace

int RunReport(const CliContext& base) {
  const CliArguments& args = base.args;
  RowFile file;
  if (const int code = LoadRowFile(base, args.file, &file); code != kExitDone) return code;
  const std::string name = args.file == "-" ? "stdin" : args.file;
  if (!file.hasUnitColumn) return base.Fail(UsageFailure(name + " names no units (it has no unit column)"));
  if (file.hasLineColumn && !args.ports.empty()) {
    return base.Fail(UsageFailure(name + " names its lines in the line column; leave out --port"));
  }
  std::vector<PortChoice> lines;
  if (const CliChecked failed = ChooseLines(base, file.lineNames, &lines)) return base.Fail(*failed);
  if (const CliChecked failed = ComEntriesKnown(base.profile, lines)) return base.Fail(*failed);
  std::string error;
  if (!CheckOutputTarget(args.output, &error)) return base.Fail(WorkFailure(error));
  if (args.output != "-" && (WouldReplace(args.output, args.file) || WouldReplace(args.output, base.profile.path))) {
    return base.Fail(UsageFailure(args.output + ": the report would replace a file it reads"));
  }
  if (const std::string journal = JournalPath(); args.output != "-" && !journal.empty() && WouldReplace(args.output, journal)) {
    return base.Fail(UsageFailure(args.output + ": the journal; the report would replace it"));
  }
  const std::vector<std::string> labels = LineLabels(lines);
  // The page goes to standard output unless -o names a file: nothing else may
  // go there with it.
  const bool pageOnOut = IsStandardOutput(args.output);
  CliReport report(base.streams, args.quiet || pageOnOut, false, labels, base.outFault);
  CliContext context = base;
  context.report = &report;

  SiteFacts facts;
  facts.site = SiteName(file, name);
  facts.company = Printable(args.company.empty() ? file.company : args.company);
  facts.technician = Printable(args.technician.empty() ? file.technician : args.technician);
  std::tie(facts.localTime, facts.utcTime) = ReportTimes(std::time(nullptr));
  facts.version = std::string("dimlet-cli ") + DIMLET_VERSION;
  facts.host = JournalHostName();
  facts.user = JournalUserName();
  facts.lines.resize(lines.size());
  const auto listed = ListSerialPorts();
  const std::vector<SerialPortInfo> adapters = listed.ValueOr({});

  std::atomic<bool> signalled = false;  // a line stopped at a stop signal, units left unread
  const int code = WorkLines(context, lines, [&](LineSession& line) {
    ReportLine& page = facts.lines[line.Index()];
    page.name = line.Port().label;
    page.device = line.Port().path;
    const int lineName = file.hasLineColumn ? static_cast<int>(line.Index()) : -1;
    std::vector<ReportUnit> units;
    for (const FileRow& row : file.rows) {
      if (row.lineName != lineName) continue;
      auto unit = std::find_if(units.begin(), units.end(), [&row](const ReportUnit& u) { return u.address == row.unit; });
      if (unit == units.end()) {
        units.push_back({row.unit, row.label, true});
        unit = units.end() - 1;
      }
      for (int c = 0; c < kChannels; ++c) unit->plan[row.sequence - 1][c] = row.channels[c];
    }
    if (!line.Open()) {
      page.fault = "the line could not be opened: " + NotOpenWords(line.Link());
      std::sort(units.begin(), units.end(), [](const ReportUnit& a, const ReportUnit& b) { return a.address < b.address; });
      for (ReportUnit& unit : units) unit.notRead = page.fault;
      page.units = units;
      return static_cast<int>(kExitPortNotOpen);
    }
    for (const int32_t found : unit_operations::ScanUnits(line.Link())) {
      if (std::none_of(units.begin(), units.end(), [found](const ReportUnit& u) { return u.address == found; })) {
        units.push_back({found, "", false});
      }
    }
    std::sort(units.begin(), units.end(), [](const ReportUnit& a, const ReportUnit& b) { return a.address < b.address; });
    PutLineFacts(line.Link(), line.Port(), adapters, &page);
    // A unit not asked, or whose answer the line cut short, is not read: the
    // page says why, and never that it did not answer.
    auto notRead = [&units](size_t from, const std::string& why) {
      for (size_t u = from; u < units.size(); ++u) units[u].notRead = why;
    };
    int outcome = kExitDone;
    if (!line.FramesSent("scan")) {
      page.fault = "the line failed during the scan: " + LineFaultWords(line.Link());
      notRead(0, page.fault);
      outcome = kExitFailure;
    }
    for (size_t u = 0; outcome != kExitFailure && u < units.size(); ++u) {
      ReportUnit& unit = units[u];
      std::string why;
      const int stopped = line.CheckStop("not read: unit " + std::to_string(unit.address) + " and after", &why);
      if (stopped != kExitDone) {
        OutputFaultSaid(line.Context(), stopped);
        if (StopAsked() && !StopWasClosedOutput() && !report.OutputClosed()) signalled = true;
        notRead(u, why);
        outcome = stopped;
        break;
      }
      // A unit found silent in the scan is asked again by no further try:
      // silence is its answer, and ReadRows gives none for it.
      unit_operations::ReadHooks hooks;
      hooks.progress = line.RowProgressFor(unit.address, "reading");
      hooks.retries = line.Retries();
      const std::vector<CSerialLink::RowAnswer> answers =
          unit_operations::ReadRows(line.Link(), unit.address, unit_operations::AllRows(), hooks);
      unit.readAgain = line.TakeRetried();
      report.EndProgress();
      if (!line.FramesSent("unit " + std::to_string(unit.address) + ": read-row")) {
        page.fault = "the line failed while unit " + std::to_string(unit.address) +
                     " was read: " + LineFaultWords(line.Link());
        notRead(u, page.fault);
        outcome = kExitFailure;
        break;
      }
      unit.answered = true;
      for (size_t r = 0; r < answers.size(); ++r) {
        for (int c = 0; c < answers[r].arrived; ++c) unit.held[r][c] = answers[r].channels[c];
        if (!answers[r].Whole()) unit.answered = false;
      }
      const UnitVerdict verdict = VerdictOf(unit);
      const std::string who = "unit " + std::to_string(unit.address) + (unit.label.empty() ? "" : " (" + unit.label + ")");
      const std::string notAnswered = SequencesNotAnsweredWords(unit);
      if (verdict == UnitVerdict::kNoAnswer) {
        line.Message(who + ": " + (notAnswered.empty() ? "did not answer" : notAnswered));
        ++line.Counts().noAnswer;
        outcome = WorseExitStatus(outcome, kExitNoAnswer);
      } else if (verdict == UnitVerdict::kDiffers) {
        line.Message(who + ": differs from the plan" + (notAnswered.empty() ? "" : "; " + notAnswered));
        ++line.Counts().different;
        outcome = WorseExitStatus(outcome, kExitDifferent);
      } else {
        ++line.Counts().done;
        line.Say(who + ": " + VerdictWords(verdict) + (unit.readAgain > 0 ? " (" + ReadAgainWords(unit.readAgain) + ")" : ""));
      }
      ++line.Counts().units;
    }
    page.units = units;
    return outcome;
  });
  if (!listed) report.Message(0, "serial adapters could not be listed: " + listed.Failure().reason);

  // A reader that left has been told of already, with the units not read.
  if (pageOnOut && code == kExitClosedPipe) return code;
  // Whoever stopped the run does not want its page: one that left units
  // unread could be handed over as the site's, or replace a whole page
  // written before.
  if (signalled) return context.Fail({code, "stopped before every unit was read; the report was not written"});
  const std::string text = args.json ? HandoverJsonLines(facts, code) : HandoverHtml(facts);
  if (!WriteOutput(args.output, text, base.streams.out, base.streams.err, &error)) {
    const bool closed = pageOnOut && report.OutputClosed();
    if (pageOnOut && !closed && base.outFault) {
      // Said once, at the end of the run, as for any output that failed.
      *base.outFault = error + "; the report was not written";
      return WorseExitStatus(code, kExitFailure);
    }
    if (closed && base.outFault) *base.outFault = OutputFaultWords(EPIPE);  // said here, once
    return WorseExitStatus(code, context.Fail(closed ? ClosedPipeFailure("standard output was closed; the report was not written")
                                                     : WorkFailure(error)));
  }
  size_t unread = 0;
  for (const ReportLine& line : facts.lines) {
    unread += std::count_if(line.units.begin(), line.units.end(), [](const ReportUnit& u) { return !u.notRead.empty(); });
  }
  if (!pageOnOut) {
    report.Closing("report written to " + args.output +
                       (unread == 0 ? "" : "; it shows " + std::to_string(unread) + (unread == 1 ? " unit" : " units") + " not read"),
                   false);
  }
  return code;
}
