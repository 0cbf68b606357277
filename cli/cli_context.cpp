// Shared parts of the dimlet-cli commands: messages, the progress line, and
// the port opened exclusively, as the window opens it.
#include "cli/cli_context.h"

#include <ostream>

#include "cli/stop_signals.h"
#include "device/link_words.h"

int CliContext::Fail(int code, const std::string& message) const {
  EndProgress();
  streams.err << "dimlet-cli: " << message << '\n' << std::flush;
  return code;
}

void CliContext::Say(const std::string& line) const {
  if (!args.quiet) streams.out << line << '\n' << std::flush;
}

void CliContext::Progress(const std::string& text) const {
  if (!streams.progress || args.quiet) return;
  // Padded so that a shorter line covers the end of a longer one.
  std::string shown = text;
  if (shown.size() < 60) shown.resize(60, ' ');
  streams.err << '\r' << shown << std::flush;
}

void CliContext::EndProgress() const {
  if (!streams.progress || args.quiet) return;
  streams.err << '\r' << std::string(60, ' ') << '\r' << std::flush;
}

bool OpenChosenPort(const CliContext& context, CSerialLink& link, PortChoice* choice, int* code) {
  *choice = ChoosePort(context.profilePath, context.args.port);
  const std::string path = choice->path;
  link.SetPortResolver([path](int32_t) { return path; });
  if (link.OpenPort(choice->comEntry, kLineBaud)) return true;
  *code = context.Fail(kExitPortNotOpen, choice->name + ": " + link_words::StateWords(link));
  return false;
}

int CheckLineKept(const CliContext& context, const CSerialLink& link, const PortChoice& choice, int code) {
  if (link.IsPortOpen()) return code;
  return context.Fail(kExitFailure, choice.name + ": " + link_words::FaultWords(link.LastFault()));
}

unit_operations::RowProgress RowProgressFor(const CliContext& context, int unit, const std::string& verb) {
  return [&context, unit, verb](int done, int total) {
    context.Progress("unit " + std::to_string(unit) + ": " + verb + " row " + std::to_string(done) + " of " +
                     std::to_string(total));
  };
}

int ReportProblems(const CliContext& context, const std::string& name, const std::vector<FileProblem>& problems) {
  context.EndProgress();
  for (const FileProblem& problem : problems) {
    context.streams.err << name;
    if (problem.line > 0) context.streams.err << ':' << problem.line;
    context.streams.err << ": " << problem.what << '\n';
  }
  context.streams.err << std::flush;
  return kExitUsage;
}

int CheckStop(const CliContext& context, const std::string& undone) {
  if (!StopAsked()) return kExitDone;
  return context.Fail(kExitFailure, "stopped by a signal; " + undone);
}
