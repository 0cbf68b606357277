// What the dimlet-cli commands share beyond their lines: messages outside
// any line, the problems of a file, and the end of a run (the trace closed,
// the summary, the exit status that tells most).
#include "cli/cli_context.h"

#include <algorithm>
#include <ostream>

#include "cli/printable.h"
#include "device/serial_link.h"

int CliContext::Fail(const CliFailure& failure) const {
  if (report) report->EndProgress();
  streams.err << "dimlet-cli: " << Printable(failure.words) << '\n' << std::flush;
  return failure.status;
}

void OutputFaultSaid(const CliContext& context, int code) {
  if (code == kExitFailure && context.outFaultSaid) *context.outFaultSaid = true;
}

int WorseExitStatus(int a, int b) {
  auto rank = [](int code) {
    switch (code) {
      case kExitDone: return 0;
      case kExitDifferent: return 1;
      case kExitNoAnswer: return 2;
      case kExitPortNotOpen: return 3;
      case kExitFailure: return 4;
      case kExitUsage: return 5;
      default: return 6;  // stopped by a signal
    }
  };
  return rank(b) > rank(a) ? b : a;
}

int ReportProblems(const CliContext& context, const std::string& name, const std::vector<FileProblem>& problems,
                   size_t unlisted) {
  std::string text;
  for (const FileProblem& problem : problems) {
    text += Printable(name);
    if (problem.line > 0) text += ':' + std::to_string(problem.line);
    text += ": " + problem.what + '\n';
  }
  if (unlisted > 0) text += Printable(name) + ": ... and " + std::to_string(unlisted) + " more\n";
  context.streams.err << text << std::flush;
  return kExitUsage;
}

int CloseTrace(const CliContext& context, int code) {
  if (!context.trace) return code;
  if (const CliChecked failed = context.trace->Close()) code = WorseExitStatus(code, context.Fail(*failed));
  return code;
}

int Summarize(const CliContext& context, const std::string& doneWords, bool dataOnOut, int code) {
  code = CloseTrace(context, code);
  CliReport& report = *context.report;
  const Tally t = report.Total();
  const size_t lines = std::max<size_t>(report.Lines(), 1);
  report.ClosingResult({{"event", "summary"},
                        {"command", CommandName(context.args)},
                        {"lines", lines},
                        {"units", t.units},
                        {"done", t.done},
                        {"stored", t.stored},
                        {"different", t.different},
                        {"no_answer", t.noAnswer},
                        {"not_reached", t.notReached},
                        {"not_confirmed", t.unconfirmed},
                        {"line_faults", t.lineFaults},
                        {"read_again", t.readAgain},
                        {"exit", code}});
  // A scan's list is its summary; one unit's own line says it all, unless
  // rows were read again, which a read's rows alone would not show.
  if ((t.units <= 1 && lines <= 1 && t.readAgain == 0) || doneWords.empty()) return code;
  auto count = [](int n, const char* one, const char* many) { return std::to_string(n) + ' ' + (n == 1 ? one : many); };
  std::string text = count(t.units, "unit", "units") + " on " + count(static_cast<int>(lines), "line", "lines") + ":";
  std::vector<std::string> parts;
  if (t.done > 0 || t.units == 0) parts.push_back(std::to_string(t.done) + ' ' + doneWords);
  if (t.different > 0) parts.push_back(std::to_string(t.different) + (t.different == 1 ? " holds" : " hold") + " other rows");
  if (t.noAnswer > 0) parts.push_back(std::to_string(t.noAnswer) + " did not answer");
  if (t.unconfirmed > 0) parts.push_back(std::to_string(t.unconfirmed) + " not confirmed");
  if (t.notReached > 0) parts.push_back(std::to_string(t.notReached) + " not reached");
  if (t.lineFaults > 0) parts.push_back(count(t.lineFaults, "line fault", "line faults"));
  // A line that needs second tries is shown as one, though every unit came out right.
  if (t.readAgain > 0) parts.push_back(ReadAgainWords(t.readAgain));
  for (size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? " " : ", ") + parts[i];
  report.Closing(text, !dataOnOut);
  return code;
}

std::string NoUnitCauses(const CSerialLink& link) {
  std::string causes = "Likely causes:";
  const int latency = link.LatencyTimerMs();
  const int limit = LatencyLimitMs(link.AnswerWaitMs());
  if (latency > limit) {
    causes += " the adapter holds answers back for " + std::to_string(latency) + " ms (its latency timer), above the " +
              std::to_string(limit) + " ms an answer allows;";
  }
  if (link.Echoes() == true) {
    causes += " the line returns what it sends (echo): the units may answer over it, check the echo setting;";
  }
  return causes + " the wrong port (is this the line the units are on?); silence: units without power, the bus "
                  "not wired or its wires swapped";
}
