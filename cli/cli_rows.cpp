// The commands that move rows: read a unit's rows out as a row file, write
// rows from a file or the profile to units and read them back, and verify
// that units hold the rows of a file.
#include <algorithm>
#include <istream>
#include <iterator>
#include <ostream>

#include "cli/cli_context.h"
#include "settings/atomic_file.h"
#include "settings/whole_file.h"

namespace {

using unit_operations::RowDifference;
using unit_operations::UnitRow;

struct UnitPlan {
  int unit = 0;
  std::vector<FileRow> rows;
};

std::string RowName(int unit, int32_t row) {
  return "unit " + std::to_string(unit) + ", sequence " + std::to_string(row + 1);
}

std::vector<UnitRow> WireRows(const std::vector<FileRow>& rows) {
  std::vector<UnitRow> wire;
  for (const FileRow& row : rows) wire.push_back({row.sequence - 1, row.channels});
  return wire;
}

// The rows each unit is to get (or hold), checked whole before anything is
// sent. False with *code set after saying what is wrong.
bool GatherPlans(const CliContext& context, std::vector<UnitPlan>* plans, int* code) {
  const CliArguments& args = context.args;
  RowFile file;
  std::string name;
  if (args.fromProfile) {
    name = context.profilePath;
    if (!ProfileRows(context.profilePath, &file.rows, &file.problems)) {
      *code = ReportProblems(context, name, file.problems);
      return false;
    }
  } else {
    std::string text;
    if (args.file == "-") {
      name = "stdin";
      text.assign(std::istreambuf_iterator<char>(context.streams.in), std::istreambuf_iterator<char>());
    } else {
      name = args.file;
      std::string error;
      FileStamp stamp;
      if (!ReadWholeFile(args.file, &text, &stamp, &error)) {
        *code = context.Fail(kExitUsage, error);
        return false;
      }
      if (!stamp.exists) {
        *code = context.Fail(kExitUsage, args.file + ": no such file");
        return false;
      }
    }
    file = ReadRowFile(text);
    if (!file.problems.empty()) {
      *code = ReportProblems(context, name, file.problems);
      return false;
    }
  }

  if (file.hasUnitColumn && !args.units.empty()) {
    *code = context.Fail(kExitUsage, name + " names its units in the unit column; leave out --unit");
    return false;
  }
  if (!file.hasUnitColumn && args.units.empty()) {
    *code = context.Fail(kExitUsage, name + " has no unit column: say which units with --unit N[,N...]");
    return false;
  }
  std::vector<FileRow> rows;
  for (const FileRow& row : file.rows) {
    if (!args.sequence || row.sequence == *args.sequence) rows.push_back(row);
  }
  if (rows.empty()) {
    *code = context.Fail(kExitUsage, name + " holds no row for sequence " + std::to_string(*args.sequence));
    return false;
  }

  plans->clear();
  std::vector<int> units = args.units;
  if (file.hasUnitColumn) {
    for (const FileRow& row : rows) {
      if (std::find(units.begin(), units.end(), row.unit) == units.end()) units.push_back(row.unit);
    }
    std::sort(units.begin(), units.end());
  }
  for (int unit : units) {
    UnitPlan plan{unit, {}};
    for (const FileRow& row : rows) {
      if (row.unit == -1 || row.unit == unit) {
        plan.rows.push_back(row);
        plan.rows.back().unit = unit;
      }
    }
    plans->push_back(std::move(plan));
  }
  return true;
}

// Says each difference on standard error, one line per channel that differs
// and one per row whose answer stopped short. Returns what they mean for the
// exit status: kExitNoAnswer, kExitDifferent or kExitDone.
int ReportDifferences(const CliContext& context, const std::vector<RowDifference>& differences,
                      const char* expectedWord) {
  int code = kExitDone;
  int lastMissingRow = -1;
  for (const RowDifference& d : differences) {
    const std::string where = RowName(d.unit, d.row);
    if (!d.found) {
      if (d.row == lastMissingRow) continue;  // the rest of that answer was not taken
      lastMissingRow = d.row;
      context.Fail(kExitNoAnswer, where + ": CH" + std::to_string(d.channel) + " did not answer");
      code = kExitNoAnswer;
    } else {
      context.Fail(kExitDifferent, where + ", CH" + std::to_string(d.channel) + ": " + expectedWord + " " +
                                       std::to_string(d.expected) + ", the unit holds " +
                                       std::to_string(*d.found));
      if (code == kExitDone) code = kExitDifferent;
    }
  }
  return code;
}

// The worse of two outcomes: a unit that did not answer outranks a difference.
int Worse(int a, int b) {
  auto rank = [](int code) { return code == kExitNoAnswer ? 2 : code == kExitDifferent ? 1 : 0; };
  return rank(b) > rank(a) ? b : a;
}

std::string Rows(size_t count) { return std::to_string(count) + (count == 1 ? " row" : " rows"); }

}  // namespace

int RunWriteOrVerify(const CliContext& context) {
  const CliArguments& args = context.args;
  const bool writing = args.command == CliCommand::kWrite;
  std::vector<UnitPlan> plans;
  int code = kExitDone;
  if (!GatherPlans(context, &plans, &code)) return code;

  if (args.dryRun) {
    std::vector<FileRow> all;
    for (const UnitPlan& plan : plans) all.insert(all.end(), plan.rows.begin(), plan.rows.end());
    context.streams.out << RowFileText(all, true) << std::flush;
    return kExitDone;
  }

  CSerialLink link;
  PortChoice port;
  if (!OpenChosenPort(context, link, &port, &code)) return code;

  int outcome = kExitDone;
  for (size_t p = 0; p < plans.size(); ++p) {
    const UnitPlan& plan = plans[p];
    if (p > 0) {
      std::string left;
      for (size_t q = p; q < plans.size(); ++q) left += (left.empty() ? "" : ", ") + std::to_string(plans[q].unit);
      const int stopped = CheckStop(context, std::string(writing ? "not written" : "not verified") + ": unit " + left);
      if (stopped != kExitDone) return stopped;
    }
    const std::vector<UnitRow> rows = WireRows(plan.rows);
    if (writing) unit_operations::WriteRows(link, plan.unit, rows, RowProgressFor(context, plan.unit, "writing"));
    std::vector<RowDifference> differences;
    if (!writing || args.verify) {
      differences = unit_operations::VerifyRows(link, plan.unit, rows, RowProgressFor(context, plan.unit, "verifying"));
    }
    const int lost = CheckLineKept(context, link, port, kExitDone);
    if (lost != kExitDone) return lost;
    context.EndProgress();
    const int found = ReportDifferences(context, differences, writing ? "sent" : "expected");
    outcome = Worse(outcome, found);

    std::string summary = "unit " + std::to_string(plan.unit) + ": " + Rows(rows.size());
    if (!writing) {
      if (found == kExitDone) context.Say(summary + " as expected");
      continue;
    }
    summary += args.verify ? " written and read back" : " written";
    if (args.store) {
      if (found != kExitDone) {
        context.Fail(found, "unit " + std::to_string(plan.unit) + ": not told to store, its rows are not as sent");
      } else {
        link.StoreOnUnit(plan.unit);
        const int storeLost = CheckLineKept(context, link, port, kExitDone);
        if (storeLost != kExitDone) return storeLost;
        summary += ", stored";
      }
    }
    if (found == kExitDone) context.Say(summary);
  }
  return outcome;
}

int RunRead(const CliContext& context) {
  const CliArguments& args = context.args;
  const int unit = args.units.front();
  std::vector<int32_t> rows = unit_operations::AllRows();
  if (args.sequence) rows = {*args.sequence - 1};

  CSerialLink link;
  PortChoice port;
  int code = kExitDone;
  if (!OpenChosenPort(context, link, &port, &code)) return code;
  const std::vector<CSerialLink::RowAnswer> answers =
      unit_operations::ReadRows(link, unit, rows, {RowProgressFor(context, unit, "reading"), {}, false});
  code = CheckLineKept(context, link, port, kExitDone);
  if (code != kExitDone) return code;
  context.EndProgress();

  std::vector<FileRow> read;
  for (size_t i = 0; i < rows.size(); ++i) {
    const CSerialLink::RowAnswer& answer = answers[i];
    if (!answer.Whole()) {
      // A row in part would restore the missing channels as something else.
      code = context.Fail(kExitNoAnswer,
                          RowName(unit, rows[i]) + ": CH" + std::to_string(answer.FirstMissing()) + " did not answer");
      continue;
    }
    FileRow row;
    row.unit = unit;
    row.sequence = rows[i] + 1;
    for (int c = 0; c < 4; ++c) row.channels[c] = answer.channels[c];
    read.push_back(row);
  }
  if (code != kExitDone) return context.Fail(code, "nothing written: the rows are not whole");

  const std::string text = RowFileText(read, true);
  if (args.output == "-") {
    context.streams.out << text << std::flush;
    return kExitDone;
  }
  std::string error;
  if (!WriteFileAtomically(args.output, text, &error)) return context.Fail(kExitFailure, error);
  context.Say("unit " + std::to_string(unit) + ": " + Rows(read.size()) + " read into " + args.output);
  return kExitDone;
}
