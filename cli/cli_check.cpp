// dimlet-cli check: each line looked at before its units are commissioned:
// the device and adapter behind it, its echo, how late each unit answers,
// the bytes no unit sent, the answer wait to set, and the addresses two
// units seem to share. The figures are device/line_check.h's; this file
// only puts them into words and JSON.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/cli_commands.h"
#include "cli/printable.h"
#include "device/line_check.h"
#include "device/link_words.h"
#include "device/serial_ports.h"

namespace {

using line_check::Micros;

// Milliseconds to a tenth: "5.1".
std::string MsText(Micros late) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(late.count()) / 1000);
  return text;
}
double MsNumber(Micros late) { return std::round(static_cast<double>(late.count()) / 100) / 10; }

std::string BytesText(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (uint8_t b : bytes) text += (text.empty() ? "" : " ") + std::to_string(b);
  return text;
}

// What is behind the line: the adapter as this machine lists it, or a
// network line's server and what its connection showed.
struct DeviceFacts {
  std::optional<SerialPortInfo> adapter;
  std::string words;
};

DeviceFacts FactsOf(const PortChoice& port, const CSerialLink& link) {
  DeviceFacts facts;
  const int latency = link.LatencyTimerMs();
  const std::string timer = latency >= 0 ? "latency timer " + std::to_string(latency) + " ms" : "no latency timer known";
  if (port.Network()) {
    const std::string notes = link.LineNotes();
    facts.words = "network line" + (notes.empty() ? std::string() : ", " + notes);
    return facts;
  }
  for (const SerialPortInfo& adapter : ListSerialPorts().ValueOr({})) {
    if (adapter.IsNamed(port.path)) facts.adapter = adapter;
  }
  facts.words = facts.adapter ? facts.adapter->Description() + ", " + timer
                              : port.path + ": no adapter this machine lists (a pseudo-terminal, or a port it does "
                                            "not know), " + timer;
  return facts;
}

std::string EchoText(std::optional<bool> echoes) {
  if (!echoes) return "not known: no frame settled it";
  return *echoes ? "the line returns what it sends (taken back and checked)" : "none";
}

// One unit's line: its lateness, a late answer in the link's words, and a
// sign of a second unit at its address.
std::string UnitText(const line_check::UnitFindings& unit) {
  std::string text = "unit " + std::to_string(unit.unit) + '\t';
  if (unit.late) {
    const line_check::Spread& late = *unit.late;
    text += "answers " + MsText(late.median) + " ms after its frame (least " + MsText(late.least) + ", most " +
            MsText(late.most) + ", over " + std::to_string(late.reads) + " reads)";
  } else {
    text += "did not answer the rows read";
  }
  if (unit.answeredLate) {
    text += "; " + link_words::FrameWords(CSerialLink::FrameOutcome::kAnswerLate, *unit.answeredLate);
  }
  if (unit.strayReads > 0) text += "; " + std::to_string(unit.strayReads) + " reads brought bytes beyond an answer";
  if (unit.shared) {
    text += "; two units may share address " + std::to_string(unit.unit) + ": sequence " +
            std::to_string(unit.shared->row + 1) + " read as " + BytesText(unit.shared->first) + ", then " +
            BytesText(unit.shared->then);
  }
  return text + '\n';
}

nlohmann::json UnitResult(const line_check::UnitFindings& unit) {
  nlohmann::json result = {{"event", "unit check"}, {"unit", unit.unit}, {"stray_reads", unit.strayReads},
                           {"shared", unit.shared.has_value()}};
  if (unit.late) {
    result["reads"] = unit.late->reads;
    result["late_ms"] = {{"least", MsNumber(unit.late->least)},
                         {"median", MsNumber(unit.late->median)},
                         {"most", MsNumber(unit.late->most)}};
  }
  if (unit.answeredLate) result["answered_late_ms"] = unit.answeredLate->lateMs;
  if (unit.shared) {
    result["sequence"] = unit.shared->row + 1;
    result["read_as"] = unit.shared->first;
    result["then"] = unit.shared->then;
  }
  return result;
}

// The reads of the whole check that brought bytes no unit sent in answer,
// and the addresses they asked.
struct Strays {
  int reads = 0;
  std::vector<int32_t> addresses;
};

Strays StraysOf(const line_check::Survey& survey) {
  Strays strays;
  for (const auto* reads : {&survey.scanReads, &survey.rowReads}) {
    for (const line_check::Reading& reading : *reads) {
      if (reading.outcome != CSerialLink::FrameOutcome::kStrayBytes) continue;
      ++strays.reads;
      auto& at = strays.addresses;
      if (std::find(at.begin(), at.end(), reading.unit) == at.end()) at.push_back(reading.unit);
    }
  }
  std::sort(strays.addresses.begin(), strays.addresses.end());
  return strays;
}

std::string StrayText(const Strays& strays, int droppedAtOpen) {
  if (strays.reads == 0 && droppedAtOpen == 0) return "none";
  std::string text;
  if (strays.reads > 0) {
    std::string at;
    for (int32_t address : strays.addresses) at += (at.empty() ? "" : ", ") + std::to_string(address);
    text = std::to_string(strays.reads) + (strays.reads == 1 ? " read" : " reads") + " of address " + at +
           " brought " + link_words::FrameWords(CSerialLink::FrameOutcome::kStrayBytes);
  }
  if (droppedAtOpen > 0) {
    text += (text.empty() ? "" : "; ") + std::to_string(droppedAtOpen) + " bytes waited on the line when it opened";
  }
  return text;
}

std::string WaitText(int32_t advised, const CSerialLink& link) {
  if (advised == 0) return "none takes every answer seen: some came later than the longest answer wait";
  const int32_t timer = link.LatencyTimerMs();
  return std::to_string(advised) + " ms takes every answer seen" +
         (timer >= 0 ? " and the adapter's latency timer of " + std::to_string(timer) + " ms" : "") +
         " (this line's is " + std::to_string(link.AnswerWaitMs()) + " ms)";
}

const char* const kUnknowable =
    "two units at one address whose answers coincide exactly and who hold the same rows read as one unit";

}  // namespace

int RunCheck(const CliContext& base) {
  std::vector<PortChoice> lines;
  if (const int code = ScanLines(base, &lines); code != kExitDone) return code;
  const std::vector<std::string> labels = LineLabels(lines);
  CliReport report(base.streams, base.args.quiet, base.args.json, labels, base.outFault);
  CliContext context = base;
  context.report = &report;
  const bool several = lines.size() > 1;

  const int code = WorkLines(context, lines, [&](LineSession& line) {
    if (!line.Open()) return static_cast<int>(kExitPortNotOpen);
    CSerialLink& link = line.Link();
    line_check::Hooks hooks;
    hooks.scanned = [&](int done, int total) {
      report.Progress(line.Index(), "checking: address " + std::to_string(done - 1) + " (" + std::to_string(done) +
                                        " of " + std::to_string(total) + ")");
    };
    hooks.read = [&](int done, int total) {
      report.Progress(line.Index(), "checking: read " + std::to_string(done) + " of " + std::to_string(total));
    };
    std::string stopWhy;
    hooks.goOn = [&] { return StopStatus(context, &stopWhy) == kExitDone; };
    const line_check::Survey survey = line_check::Run(link, hooks);
    report.EndProgress();
    // A stop between units ends the check with what it has not read said.
    if (survey.stoppedBefore >= 0) {
      return line.CheckStop("not checked: unit " + std::to_string(survey.stoppedBefore) + " and after");
    }
    if (!survey.stoppedBy) link.SettleEcho();

    const DeviceFacts facts = FactsOf(line.Port(), link);
    const std::vector<line_check::UnitFindings> findings = line_check::Judge(survey.rowReads);
    std::optional<Micros> mostLate;
    std::vector<int32_t> shared;
    for (const line_check::UnitFindings& unit : findings) {
      if (unit.late) mostLate = std::max(mostLate.value_or(Micros{0}), unit.late->most);
      if (unit.shared) shared.push_back(unit.unit);
    }
    const int32_t advised = line_check::AdvisedAnswerWait(link.LatencyTimerMs(), mostLate);
    const Strays strays = StraysOf(survey);

    const std::string lead = several ? line.Port().label + '\t' : "";
    std::string text = lead + "device\t" + Printable(facts.words) + '\n' + lead + "echo\t" + EchoText(link.Echoes()) + '\n';
    for (const line_check::UnitFindings& unit : findings) text += lead + UnitText(unit);
    text += lead + "stray bytes\t" + StrayText(strays, link.DroppedAtOpen()) + '\n';
    text += lead + "answer wait\t" + WaitText(advised, link) + '\n';
    text += lead + "cannot tell\t" + kUnknowable + '\n';
    report.Data(line.Index(), text);

    for (const line_check::UnitFindings& unit : findings) line.Result(UnitResult(unit));
    const auto orNull = [](bool known, const nlohmann::json& value) { return known ? value : nlohmann::json(); };
    line.Result({{"event", "check"},
                 {"path", line.Port().path},
                 {"device", facts.words},
                 {"driver", orNull(facts.adapter.has_value(), facts.adapter ? facts.adapter->driver : "")},
                 {"usb_id", orNull(facts.adapter.has_value(), facts.adapter ? facts.adapter->vendorProduct : "")},
                 {"latency_ms", orNull(link.LatencyTimerMs() >= 0, link.LatencyTimerMs())},
                 {"line_notes", link.LineNotes()},
                 {"echo", orNull(link.Echoes().has_value(), link.Echoes().value_or(false))},
                 {"units", survey.present},
                 {"stray_reads", strays.reads},
                 {"dropped_at_open", link.DroppedAtOpen()},
                 {"answer_wait_ms", link.AnswerWaitMs()},
                 {"advised_answer_wait_ms", orNull(advised > 0, advised)},
                 {"shared", shared}});
    line.Counts().units += static_cast<int>(survey.present.size());
    line.Counts().done += static_cast<int>(survey.present.size());
    // A line held, lost or echoing wrongly is a fault as it is to scan.
    if (survey.stoppedBy && !line.FramesSent("check")) return static_cast<int>(kExitFailure);
    if (!survey.present.empty()) return static_cast<int>(kExitDone);
    line.Message(line.Port().name + ": no unit answers. " + NoUnitCauses(link));
    return static_cast<int>(kExitNoAnswer);
  });
  return Summarize(context, "", true, code);
}
