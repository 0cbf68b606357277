// The commands that move rows: read units' rows out as a row file, write rows
// from a file or the profile to units and read them back, and verify that
// units hold the rows of a file; on one line or several side by side.
#include <algorithm>
#include <csignal>
#include <map>
#include <optional>
#include <ostream>

#include "cli/cli_commands.h"
#include "cli/cli_files.h"
#include "cli/stop_signals.h"
#include "device/unit_commands.h"
#include "settings/journal.h"
#include "settings/led_settings.h"
#include "settings/unit_list.h"
#include "settings/whole_file.h"

namespace {

using unit_operations::RowDifference;
using unit_operations::UnitRow;

struct UnitPlan {
  int unit = 0;
  std::vector<FileRow> rows;
};

std::vector<UnitRow> WireRows(const std::vector<FileRow>& rows) {
  std::vector<UnitRow> wire;
  for (const FileRow& row : rows) wire.push_back({row.sequence - 1, row.channels});
  return wire;
}

std::string Rows(size_t count) { return std::to_string(count) + (count == 1 ? " row" : " rows"); }

// The units of `plans` from the `from`th on, as unit lists are written
// everywhere: "3-5,7" for "not written: unit 3-5,7".
std::string UnitsFrom(const std::vector<UnitPlan>& plans, size_t from) {
  std::vector<int> units;
  for (size_t p = from; p < plans.size(); ++p) units.push_back(plans[p].unit);
  return UnitListText(units);
}

// How messages name a unit: "unit 3", or "unit 3 (Stage left wash)" when the
// installation labels it.
std::string UnitName(int unit, const std::string& label) {
  return "unit " + std::to_string(unit) + (label.empty() ? "" : " (" + label + ")");
}
std::string UnitName(const UnitPlan& plan) { return UnitName(plan.unit, plan.rows.front().label); }

// A unit's JSON object, with its label when it has one.
nlohmann::json WithLabel(const UnitPlan& plan, nlohmann::json object) {
  if (!plan.rows.front().label.empty()) object["label"] = plan.rows.front().label;
  return object;
}

std::vector<JournalRow> JournalRows(const std::vector<UnitRow>& rows) {
  std::vector<JournalRow> journal;
  for (const UnitRow& row : rows) journal.push_back({row.row + 1, row.values});
  return journal;
}

// What the read before a --changed write found.
enum class ReadFirst { kFramesFailed, kSilent, kRead };

// With --changed: the rows of `rows` the unit does not hold now, read first;
// a row that did not come whole is among them. kSilent when no byte of any
// answer came: what the unit holds is unknown, so nothing is to be sent.
ReadFirst RowsToChange(LineSession& line, const UnitPlan& plan, const std::vector<UnitRow>& rows,
                       std::vector<UnitRow>* changed) {
  std::vector<int32_t> indices;
  for (const UnitRow& row : rows) indices.push_back(row.row);
  unit_operations::ReadHooks hooks;
  hooks.progress = line.RowProgressFor(plan.unit, "reading");
  hooks.retries = line.Retries();
  const std::vector<CSerialLink::RowAnswer> answers = unit_operations::ReadRows(line.Link(), plan.unit, indices, hooks);
  if (!line.FramesSent(UnitName(plan) + ": read-row")) return ReadFirst::kFramesFailed;
  if (std::all_of(answers.begin(), answers.end(), [](const CSerialLink::RowAnswer& a) { return a.arrived == 0; })) {
    return ReadFirst::kSilent;
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    bool same = answers[i].Whole();
    for (int c = 0; same && c < kChannels; ++c) same = answers[i].channels[c] == unit_protocol::LowByte(rows[i].values[c]);
    if (!same) changed->push_back(rows[i]);
  }
  return ReadFirst::kRead;
}

}  // namespace

int LoadRowFile(const CliContext& context, const std::string& name, RowFile* file) {
  std::string text;
  std::string error;
  if (!ReadRowSource(name, context.streams.inFd, context.streams.in, &text, &error)) {
    return context.Fail(StopAsked() ? CliFailure{128 + StopSignal(), error} : UsageFailure(error));
  }
  *file = ReadRowFile(text);
  if (!file->problems.empty()) {
    return ReportProblems(context, name == "-" ? "stdin" : name, file->problems, file->unlistedProblems);
  }
  return kExitDone;
}

namespace {

// The rows each unit of each line is to get (or hold), checked whole before
// anything is sent. kExitDone, or the exit status after saying what is wrong.
int GatherPlans(const CliContext& context, std::vector<PortChoice>* lines, std::vector<std::vector<UnitPlan>>* plans,
                RowFile* file) {
  const CliArguments& args = context.args;
  std::string name;
  if (args.fromProfile) {
    name = context.profile.path;
    if (!ProfileRows(context.profile, &file->rows, &file->problems)) {
      return ReportProblems(context, name, file->problems);
    }
  } else {
    name = args.file == "-" ? "stdin" : args.file;
    if (const int code = LoadRowFile(context, args.file, file); code != kExitDone) return code;
    if (context.journal) context.journal->NameTechnician(file->technician);
  }

  if (file->hasUnitColumn && !args.units.empty()) {
    return context.Fail(UsageFailure(name + " names its units in the unit column; leave out --unit"));
  }
  if (!file->hasUnitColumn && args.units.empty()) {
    return context.Fail(UsageFailure(name + " has no unit column: say which units with --unit N[,N...]"));
  }
  if (file->hasLineColumn && !args.ports.empty()) {
    return context.Fail(UsageFailure(name + " names its lines in the line column; leave out --port"));
  }
  std::vector<FileRow> rows;
  for (const FileRow& row : file->rows) {
    if (!args.sequence || row.sequence == *args.sequence) rows.push_back(row);
  }
  if (rows.empty()) {
    return context.Fail(UsageFailure(name + " holds no row for sequence " + std::to_string(*args.sequence)));
  }
  if (const CliChecked failed = ChooseLines(context, file->lineNames, lines)) return context.Fail(*failed);
  if (const CliChecked failed = ComEntriesKnown(context.profile, *lines)) return context.Fail(*failed);

  plans->assign(lines->size(), {});
  for (size_t l = 0; l < lines->size(); ++l) {
    const int lineName = file->hasLineColumn ? static_cast<int>(l) : -1;
    std::vector<int> units = args.units;
    if (file->hasUnitColumn) {
      for (const FileRow& row : rows) {
        if (row.lineName == lineName && std::find(units.begin(), units.end(), row.unit) == units.end()) {
          units.push_back(row.unit);
        }
      }
      std::sort(units.begin(), units.end());
    }
    for (int unit : units) {
      UnitPlan plan{unit, {}};
      for (const FileRow& row : rows) {
        if (row.lineName == lineName && (row.unit == -1 || row.unit == unit)) {
          plan.rows.push_back(row);
          plan.rows.back().unit = unit;
        }
      }
      if (!plan.rows.empty()) (*plans)[l].push_back(std::move(plan));
    }
  }
  return kExitDone;
}

// Says each difference, one line per channel that differs and one per row
// whose answer stopped short, or one line for a unit that did not answer at
// all. Returns what they mean for the exit status: kExitNoAnswer,
// kExitDifferent or kExitDone.
int ReportDifferences(LineSession& line, const UnitPlan& plan, size_t rowCount,
                      const std::vector<RowDifference>& differences, const char* expectedWord) {
  const std::string unitName = UnitName(plan);
  size_t silentRows = 0;
  for (const RowDifference& d : differences) {
    if (d.channel == 1 && !d.found) ++silentRows;
  }
  if (rowCount > 0 && silentRows == rowCount) {
    line.Message(unitName + ": did not answer");
    return kExitNoAnswer;
  }
  int code = kExitDone;
  int lastMissingRow = -1;
  for (const RowDifference& d : differences) {
    line.Result(WithLabel(plan, {{"event", "difference"},
                 {"unit", d.unit},
                 {"sequence", d.row + 1},
                 {"channel", d.channel},
                 {"expected", d.expected},
                 {"found", d.found ? nlohmann::json(*d.found) : nlohmann::json()}}));
    const std::string where = unitName + ", sequence " + std::to_string(d.row + 1);
    if (!d.found) {
      if (d.row == lastMissingRow) continue;  // the rest of that answer was not taken
      lastMissingRow = d.row;
      line.Message(where + ": CH" + std::to_string(d.channel) + " did not answer");
      code = kExitNoAnswer;
    } else {
      line.Message(where + ", CH" + std::to_string(d.channel) + ": " + expectedWord + " " +
                   std::to_string(d.expected) + ", the unit holds " + std::to_string(*d.found));
      if (code == kExitDone) code = kExitDifferent;
    }
  }
  return code;
}

// The units of `plans` from `from` on were not reached: each is named so in
// the results. Returns `code`.
int Unreached(LineSession& line, const std::vector<UnitPlan>& plans, size_t from, int code) {
  line.Counts().notReached += static_cast<int>(plans.size() - from);
  for (size_t q = from; q < plans.size(); ++q) {
    line.Result(WithLabel(plans[q], {{"event", "unit"}, {"unit", plans[q].unit}, {"outcome", "not reached"}}));
  }
  return code;
}

// The unit's write in the journal with the outcome reported: the rows whose
// frames left whole, as the link recorded them, and the first `count` of
// `rows` as asked.
void JournalWrite(LineSession& line, const UnitPlan& plan, const std::vector<UnitRow>& rows, size_t count,
                  const std::string& outcome, int readAgain) {
  JournalEntry entry = JournalFor(plan.unit, plan.rows.front().label,
                                  unit_commands::JournalName(unit_commands::UnitCommand::kWriteRow), outcome);
  entry.rows = JournalRows({rows.begin(), rows.begin() + static_cast<long>(count)});
  entry.readAgain = readAgain;
  line.Journal(entry);
}

// What one unit's work came to: its exit status, and when the line stops at
// it, the first unit that was not reached.
struct UnitWork {
  int code = kExitDone;
  std::optional<size_t> stopFrom;
};

// Sends the unit's rows; false when a frame failed, with *sent the rows that
// reached it whole.
bool SendRows(LineSession& line, const UnitPlan& plan, const std::vector<UnitRow>& rows, size_t* sent) {
  const unit_operations::RowProgress progress = line.RowProgressFor(plan.unit, "writing");
  unit_operations::WriteRows(line.Link(), plan.unit, rows, [&](int done, int total) {
    *sent = static_cast<size_t>(done);
    progress(done, total);
  });
  const std::string lastSent = *sent > 0 ? std::to_string(rows[*sent - 1].row + 1) : "";
  const std::string failed = *sent < rows.size() ? " of sequence " + std::to_string(rows[*sent].row + 1) : "";
  return line.FramesSent(UnitName(plan) + ": write-row" + failed +
                         (*sent > 0 ? " (sequence " + lastSent + " the last sent whole)" : ""));
}

// The unit's result and its line for the operator, once its rows were sent
// and (or) compared with what it holds (`found`: kExitDone, kExitDifferent or
// kExitNoAnswer); after a good write with --store the unit is told to store.
// `rows` were sent (with --changed, those the unit did not hold; the rest of
// the plan's `rowCount` were in place); `readAgain` rows were asked for again.
UnitWork ReportUnit(LineSession& line, const UnitPlan& plan, size_t p, size_t rowCount,
                    const std::vector<UnitRow>& rows, bool verifying, int found, int readAgain) {
  const CliArguments& args = line.Context().args;
  const bool writing = args.command == CliCommand::kWrite;
  Tally& tally = line.Counts();
  const std::string unitName = UnitName(plan);
  nlohmann::json result = WithLabel(plan, {{"event", "unit"}, {"unit", plan.unit}, {"rows", rowCount}});
  const size_t inPlace = rowCount - rows.size();
  if (writing && args.changed) result["in_place"] = inPlace;
  result["sent"] = writing && !rows.empty();
  result["written"] = writing && !rows.empty() && verifying && found == kExitDone;
  result["verified"] = verifying && found == kExitDone;
  result["read_again"] = readAgain;
  std::string summary = unitName + ": " + Rows(rowCount);
  const std::string again = readAgain > 0 ? " (" + ReadAgainWords(readAgain) + ")" : "";
  if (!writing) {
    result["outcome"] = found == kExitDone ? "as expected" : found == kExitDifferent ? "different" : "no answer";
    line.Result(result);
    if (found == kExitDone) {
      ++tally.done;
      line.Say(summary + " as expected" + again);
    }
    return {found, std::nullopt};
  }
  // A write-row frame has no answer: only a read-back shows the rows written.
  if (!args.changed) {
    summary += args.verify ? " written and read back" : " sent";
  } else if (rows.empty()) {
    summary += " already in place, none written";
  } else {
    summary += ", " + std::to_string(inPlace) + " already in place, " + std::to_string(rows.size()) +
               (args.verify ? " written and read back" : " sent");
  }
  // Rows already in place were read before, so they are as sure as a read-back.
  const std::string outcome = found != kExitDone ? (found == kExitDifferent ? "different" : "no answer")
                              : verifying || rows.empty() ? "done"
                                                          : "sent";
  if (!rows.empty()) JournalWrite(line, plan, rows, rows.size(), outcome, readAgain);
  bool stored = false;
  if (args.store) {
    if (found != kExitDone) {
      line.Message(unitName + ": not told to store, its rows are not as sent");
    } else {
      line.Link().StoreOnUnit(plan.unit);
      const bool storeSent = line.FramesSent(unitName + ": store");
      line.Journal(JournalFor(plan.unit, plan.rows.front().label,
                              unit_commands::JournalName(unit_commands::UnitCommand::kStore),
                              storeSent ? "sent" : line.LastFrameLeft()));
      if (!storeSent) {
        result["outcome"] = "not stored";
        line.Result(result);
        return {kExitFailure, p + 1};
      }
      stored = true;
      ++tally.stored;
      summary += ", stored";
    }
  }
  result["stored"] = stored;
  result["outcome"] = outcome;
  line.Result(result);
  if (found == kExitDone) {
    ++tally.done;
    line.Say(summary + again);
  }
  return {found, std::nullopt};
}

// Writes (or only verifies) unit `p` of the line: sends its rows, reads them
// back to compare, and reports it.
UnitWork WorkUnit(LineSession& line, const UnitPlan& plan, size_t p) {
  const CliArguments& args = line.Context().args;
  const bool writing = args.command == CliCommand::kWrite;
  Tally& tally = line.Counts();
  const std::vector<UnitRow> planned = WireRows(plan.rows);
  std::vector<UnitRow> rows;
  if (writing && args.changed) {
    const ReadFirst readFirst = RowsToChange(line, plan, planned, &rows);
    if (readFirst == ReadFirst::kFramesFailed) return UnitWork{kExitFailure, p};
    if (readFirst == ReadFirst::kSilent) {
      line.Message(UnitName(plan) + ": did not answer; nothing sent");
      ++tally.noAnswer;
      line.Result(WithLabel(plan, {{"event", "unit"}, {"unit", plan.unit}, {"rows", planned.size()},
                                   {"sent", false}, {"written", false}, {"verified", false},
                                   {"read_again", line.TakeRetried()}, {"outcome", "no answer"}}));
      return UnitWork{kExitNoAnswer, std::nullopt};
    }
  } else {
    rows = planned;
  }
  // The rows before a frame that failed reached the unit: it is not untouched.
  size_t sent = 0;
  auto cutShort = [&](const char* outcome) {
    const int readAgain = line.TakeRetried();
    nlohmann::json result = {{"event", "unit"}, {"unit", plan.unit}, {"outcome", outcome}, {"read_again", readAgain}};
    if (writing) {
      result["rows_sent"] = sent;
      result["last_sequence_sent"] = sent > 0 ? nlohmann::json(rows[sent - 1].row + 1) : nlohmann::json();
    }
    line.Result(WithLabel(plan, std::move(result)));
    if (writing) JournalWrite(line, plan, rows, sent, outcome, readAgain);
    // Rows that may have reached the unit leave it changed, not untouched.
    tally.CountFailedAt(sent > 0 || !line.FrameNotSent(), 1);
    return UnitWork{kExitFailure, p + 1};
  };
  if (writing && !rows.empty() && !SendRows(line, plan, rows, &sent)) {
    return cutShort(sent > 0 ? "cut short" : line.LastFrameLeft());
  }
  sent = rows.size();
  std::vector<RowDifference> differences;
  const bool verifying = !writing || args.verify;
  if (verifying && !rows.empty()) {
    unit_operations::VerifyOptions options;
    options.progress = line.RowProgressFor(plan.unit, "verifying");
    options.retries = line.Retries();
    // Rows this run has just written may be written once more; a verify
    // never writes.
    options.justWritten = writing;
    differences = unit_operations::VerifyRows(line.Link(), plan.unit, rows, options);
    if (!line.FramesSent(UnitName(plan) + ": read-row")) {
      return cutShort(writing ? "not read back" : "not verified");
    }
  }
  line.Context().report->EndProgress();
  const int found = ReportDifferences(line, plan, rows.size(), differences, writing ? "sent" : "expected");
  if (found == kExitNoAnswer) ++tally.noAnswer;
  if (found == kExitDifferent) ++tally.different;
  return ReportUnit(line, plan, p, planned.size(), rows, verifying, found, line.TakeRetried());
}

// Writes (or only verifies) the units of one line, in order, until one
// stops the line.
int WorkRows(LineSession& line, const std::vector<UnitPlan>& plans) {
  const bool writing = line.Context().args.command == CliCommand::kWrite;
  Tally& tally = line.Counts();
  tally.units += static_cast<int>(plans.size());
  if (!line.Open()) {
    tally.notReached += static_cast<int>(plans.size());
    return kExitPortNotOpen;
  }
  int outcome = kExitDone;
  for (size_t p = 0; p < plans.size(); ++p) {
    const int stopped = line.CheckStop(std::string(writing ? "not written" : "not verified") + ": unit " +
                                       UnitsFrom(plans, p));
    if (stopped != kExitDone) {
      OutputFaultSaid(line.Context(), stopped);
      return Unreached(line, plans, p, stopped);
    }
    const UnitWork work = WorkUnit(line, plans[p], p);
    if (work.stopFrom) return Unreached(line, plans, *work.stopFrom, work.code);
    outcome = WorseExitStatus(outcome, work.code);
  }
  return outcome;
}

}  // namespace

int RunWriteOrVerify(const CliContext& base) {
  const CliArguments& args = base.args;
  const bool writing = args.command == CliCommand::kWrite;
  std::vector<PortChoice> lines;
  std::vector<std::vector<UnitPlan>> plans;
  RowFile file;
  int code = GatherPlans(base, &lines, &plans, &file);
  if (code != kExitDone) return code;

  if (args.dryRun) {
    std::vector<FileRow> all;
    for (size_t l = 0; l < plans.size(); ++l) {
      for (const UnitPlan& plan : plans[l]) {
        for (FileRow row : plan.rows) {
          row.lineName = static_cast<int>(l);
          all.push_back(row);
        }
      }
    }
    const std::vector<std::string> labels = LineLabels(lines);
    base.streams.out << RowFileText(all, true, file.hasLineColumn ? &labels : nullptr) << std::flush;
    return kExitDone;
  }

  CliReport report(base.streams, args.quiet, args.json, LineLabels(lines), base.outFault);
  CliContext context = base;
  context.report = &report;
  code = WorkLines(context, lines, [&plans](LineSession& line) { return WorkRows(line, plans[line.Index()]); });
  std::string words = !writing       ? "as expected"
                      : args.changed ? (args.verify ? "as planned, the rows that differed written and verified"
                                                    : "as planned or sent")
                      : args.verify  ? "written and verified"
                                     : "sent";
  if (writing && args.store) words += args.verify ? ", stored" : " and stored";
  return Summarize(context, words, false, code);
}

namespace {

// The units named (*units: on the command line, or by --like's file), or
// with --unit all those that answer on the line. False after saying why
// there are none (with *code).
bool UnitsToRead(LineSession& line, std::vector<int>* units, int* code) {
  if (!line.Context().args.allUnits) return true;
  units->clear();
  for (int32_t unit : unit_operations::ScanUnits(line.Link())) units->push_back(unit);
  if (!line.FramesSent("scan")) {
    *code = kExitFailure;
    return false;
  }
  if (units->empty()) {
    line.Message(line.Port().name + ": no unit answers. " + NoUnitCauses(line.Link()));
    *code = kExitNoAnswer;
    return false;
  }
  return true;
}

// The rows of `unit` (labelled `label`) whose answers came whole, into
// *read when all did; otherwise says which channels did not answer. Returns
// kExitDone or kExitNoAnswer.
int KeepUnitRows(LineSession& line, int unit, const std::string& label, const std::vector<int32_t>& rows,
                 const std::vector<CSerialLink::RowAnswer>& answers, std::vector<FileRow>* read) {
  const int readAgain = line.TakeRetried();
  auto result = [&label, unit, readAgain](const char* outcome) {
    nlohmann::json object = {{"event", "unit"}, {"unit", unit}, {"outcome", outcome}, {"read_again", readAgain}};
    if (!label.empty()) object["label"] = label;
    return object;
  };
  Tally& tally = line.Counts();
  std::vector<FileRow> unitRows;
  size_t silent = 0;
  for (size_t i = 0; i < answers.size(); ++i) {
    if (answers[i].arrived == 0) ++silent;
    if (!answers[i].Whole()) continue;
    FileRow row;
    row.lineName = static_cast<int>(line.Index());
    row.unit = unit;
    row.sequence = rows[i] + 1;
    row.label = label;
    for (int c = 0; c < kChannels; ++c) row.channels[c] = answers[i].channels[c];
    unitRows.push_back(row);
  }
  if (unitRows.size() == rows.size()) {
    ++tally.done;
    read->insert(read->end(), unitRows.begin(), unitRows.end());
    nlohmann::json object = result("read");
    object["rows"] = unitRows.size();
    line.Result(object);
    return kExitDone;
  }
  // A unit in part would restore its missing channels as something else:
  // it is left out of the file whole.
  ++tally.noAnswer;
  line.Result(result("no answer"));
  const std::string unitName = UnitName(unit, label);
  if (silent == rows.size()) {
    line.Message(unitName + ": did not answer");
    return kExitNoAnswer;
  }
  for (size_t i = 0; i < answers.size(); ++i) {
    if (answers[i].Whole()) continue;
    line.Message(unitName + ", sequence " + std::to_string(rows[i] + 1) + ": CH" +
                 std::to_string(answers[i].FirstMissing()) + " did not answer");
  }
  return kExitNoAnswer;
}

// The units an installation file (read --like) names on one line, and
// their labels.
struct LikeUnits {
  std::vector<int> units;
  std::map<int, std::string> labels;
};

// Reads `rows` of each unit of one line, in order, into *read.
int ReadLineRows(LineSession& line, const std::vector<int32_t>& rows, const LikeUnits& like,
                 std::vector<FileRow>* read) {
  const CliArguments& args = line.Context().args;
  Tally& tally = line.Counts();
  std::vector<int> units = args.like.empty() ? args.units : like.units;
  if (!line.Open()) {
    tally.units += static_cast<int>(units.size());
    tally.notReached += static_cast<int>(units.size());
    return kExitPortNotOpen;
  }
  int code = kExitDone;
  if (!UnitsToRead(line, &units, &code)) return code;
  tally.units += static_cast<int>(units.size());
  for (size_t u = 0; u < units.size(); ++u) {
    const int unit = units[u];
    const std::vector<int> left(units.begin() + static_cast<long>(u), units.end());
    const int stopped = line.CheckStop("not read: unit " + UnitListText(left));
    if (stopped != kExitDone) {
      OutputFaultSaid(line.Context(), stopped);
      tally.notReached += static_cast<int>(left.size());
      return stopped;
    }
    unit_operations::ReadHooks hooks;
    hooks.progress = line.RowProgressFor(unit, "reading");
    hooks.retries = line.Retries();
    const std::vector<CSerialLink::RowAnswer> answers = unit_operations::ReadRows(line.Link(), unit, rows, hooks);
    if (!line.FramesSent("unit " + std::to_string(unit) + ": read-row")) {
      // The unit was asked, so it was reached; those after it were not.
      tally.CountFailedAt(true, left.size());
      return kExitFailure;
    }
    line.Context().report->EndProgress();
    const auto label = like.labels.find(unit);
    code = WorseExitStatus(code, KeepUnitRows(line, unit, label != like.labels.end() ? label->second : "", rows,
                                              answers, read));
  }
  return code;
}

// Puts the rows read where -o says (with a line column for several lines,
// or `lineColumn`, and the installation's `site` where it has one), or as
// JSON rows; returns the run's status with that of the output.
int PutRowsRead(const CliContext& context, const std::vector<PortChoice>& lines, bool lineColumn,
                const std::string& site, const std::vector<FileRow>& all, int code) {
  const CliArguments& args = context.args;
  CliReport& report = *context.report;
  // Rows sent to standard output by another of its names are data like "-":
  // no closing words among them, and JSON rows when JSON was asked for.
  const bool toStdout = IsStandardOutput(args.output);
  const bool stopped = code > 128;  // said where it stopped
  if (all.empty()) {
    if (code == kExitDone) code = kExitNoAnswer;
    if (!stopped) context.Fail({code, "nothing written: no unit's rows are whole"});
    return code;
  }
  if (args.json && toStdout) {
    for (const FileRow& row : all) {
      report.ClosingResult({{"event", "row"},
                            {"line", lines[static_cast<size_t>(row.lineName)].label},
                            {"unit", row.unit},
                            {"sequence", row.sequence},
                            {"channels", row.channels}});
    }
    return code;
  }
  const std::vector<std::string> labels = LineLabels(lines);
  const std::string text = (site.empty() ? "" : "# site: " + site + "\n") +
                           RowFileText(all, true, lines.size() > 1 || lineColumn ? &labels : nullptr);
  // A stopped or incomplete read never takes the place of a file that may
  // be a whole backup: what was read goes beside it.
  std::string target = args.output;
  std::string error;
  const bool keep = code != kExitDone && !toStdout && IsRegularFile(args.output);
  if (keep && !ClaimNameBeside(args.output, &target, &error)) {
    code = WorseExitStatus(code, context.Fail(WorkFailure(error + "; " + args.output + " is kept as it was")));
  } else if (!WriteOutput(target, text, context.streams.out, context.streams.err, &error)) {
    const bool closed = toStdout && report.OutputClosed();
    code = WorseExitStatus(
        code, context.Fail(closed ? ClosedPipeFailure("standard output was closed; the rows read were not written")
                                  : WorkFailure(error)));
    if (toStdout) OutputFaultSaid(context, kExitFailure);
  } else if (target != args.output) {
    context.Fail({code, args.output + " is kept as it was: the read " + (stopped ? "was stopped" : "is not whole") +
                            "; " + Rows(all.size()) + " read went to " + target});
  } else if (!toStdout) {
    report.Closing(Rows(all.size()) + " read into " + args.output, true);
  }
  return code;
}

}  // namespace

int RunRead(const CliContext& base) {
  const CliArguments& args = base.args;
  std::vector<int32_t> rows = unit_operations::AllRows();
  if (args.sequence) rows = {*args.sequence - 1};

  // With --like, an installation file names the lines, units and labels.
  RowFile like;
  if (!args.like.empty()) {
    if (const int code = LoadRowFile(base, args.like, &like); code != kExitDone) return code;
    if (!like.hasUnitColumn) return base.Fail(UsageFailure(args.like + " names no units (it has no unit column)"));
    if (args.output != "-" && WouldReplace(args.output, args.like)) {
      return base.Fail(UsageFailure(args.output + ": the installation file --like reads; the rows would replace it"));
    }
  }
  std::vector<PortChoice> lines;
  if (const CliChecked failed = ChooseLines(base, like.lineNames, &lines)) return base.Fail(*failed);
  if (const CliChecked failed = ComEntriesKnown(base.profile, lines)) return base.Fail(*failed);
  // The units of each line, and their labels, as the installation file names them.
  std::vector<LikeUnits> likeUnits(lines.size());
  for (const FileRow& row : like.rows) {
    LikeUnits& units = likeUnits[like.hasLineColumn ? static_cast<size_t>(row.lineName) : 0];
    if (units.labels.emplace(row.unit, row.label).second) units.units.push_back(row.unit);
  }
  for (LikeUnits& units : likeUnits) std::sort(units.units.begin(), units.units.end());
  // Found now, not after every unit has been read for nothing; the status
  // is that of any output that could not be written.
  std::string error;
  if (!CheckOutputTarget(args.output, &error)) return base.Fail(WorkFailure(error));
  // The profile is only ever read.
  if (args.output != "-" && WouldReplace(args.output, base.profile.path)) {
    return base.Fail(UsageFailure(args.output + ": the profile; the rows would replace it"));
  }
  if (const std::string journal = JournalPath(); args.output != "-" && !journal.empty() && WouldReplace(args.output, journal)) {
    return base.Fail(UsageFailure(args.output + ": the journal; the rows would replace it"));
  }
  CliReport report(base.streams, args.quiet, args.json, LineLabels(lines), base.outFault);
  CliContext context = base;
  context.report = &report;
  std::vector<std::vector<FileRow>> read(lines.size());
  int code = WorkLines(context, lines,
                       [&](LineSession& line) { return ReadLineRows(line, rows, likeUnits[line.Index()], &read[line.Index()]); });
  std::vector<FileRow> all;
  for (const std::vector<FileRow>& lineRows : read) all.insert(all.end(), lineRows.begin(), lineRows.end());
  code = PutRowsRead(context, lines, like.hasLineColumn, like.site, all, code);
  return Summarize(context, "read", IsStandardOutput(args.output), code);
}
