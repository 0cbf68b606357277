// dimlet-cli scan: the addresses that answer on each line, or on the lines
// an installation file names; and those lines, which check works too.
#include "cli/cli_commands.h"

int ScanLines(const CliContext& base, std::vector<PortChoice>* lines) {
  // An installation file names the lines to scan; its rows are not looked at.
  RowFile file;
  if (!base.args.file.empty()) {
    if (const int code = LoadRowFile(base, base.args.file, &file); code != kExitDone) return code;
    const std::string name = base.args.file == "-" ? "stdin" : base.args.file;
    if (!file.hasLineColumn) {
      return base.Fail(
          UsageFailure(name + " names no lines (it has no line column): give them as --port LINE --port LINE"));
    }
    if (!base.args.ports.empty()) {
      return base.Fail(UsageFailure(name + " names its lines in the line column; leave out --port"));
    }
  }
  if (const CliChecked failed = ChooseLines(base, file.lineNames, lines)) return base.Fail(*failed);
  if (const CliChecked failed = ComEntriesKnown(base.profile, *lines)) return base.Fail(*failed);
  return kExitDone;
}

int RunScan(const CliContext& base) {
  std::vector<PortChoice> lines;
  if (const int code = ScanLines(base, &lines); code != kExitDone) return code;
  const std::vector<std::string> labels = LineLabels(lines);
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
    if (!line.FramesSent("scan")) return static_cast<int>(kExitFailure);
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
