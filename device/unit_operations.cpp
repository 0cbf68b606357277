// Whole-unit operations: row loops with the pauses between rows, scanning the
// line and comparing what a unit holds with what it was sent.
#include "device/unit_operations.h"

#include <chrono>

#include "device/link_clock.h"
#include "device/unit_protocol.h"
#include "settings/line_options.h"

namespace unit_operations {
namespace {

// A frame that did not go out whole ends the loop: its rows and units after
// it would fare no better, and each would wait out its bounds again. A link
// that was never open goes on, sending nothing, with every pause taken.
bool FrameFailed(const CSerialLink& link) {
  const CSerialLink::FrameOutcome outcome = link.LastFrame();
  return outcome != CSerialLink::FrameOutcome::kSent && outcome != CSerialLink::FrameOutcome::kNotOpen;
}

// Whether the last read-row's fault passes, so that asking again may bring
// the row: an answer in part or a whole one that came late, with nothing
// else on the line (the link tells stray bytes and echo faults apart from
// these), or with `silentToo` no answer at all.
std::optional<RetryCause> FaultThatPasses(const CSerialLink& link, const CSerialLink::RowAnswer& answer,
                                          bool silentToo) {
  const CSerialLink::FrameOutcome outcome = link.LastFrame();
  if (outcome == CSerialLink::FrameOutcome::kAnswerLate) return RetryCause::kAnswerLate;
  if (outcome != CSerialLink::FrameOutcome::kSent || answer.Whole()) return std::nullopt;
  if (answer.arrived > 0) return RetryCause::kAnswerInPart;
  if (silentToo) return RetryCause::kNoAnswer;
  return std::nullopt;
}

// Before a row is asked for again: the line has been quiet for the longest
// answer wait since the last frame, so that nothing of the answer before can
// land in the next one's window (the link refuses the frame if bytes came).
void QuietSinceFrame(CSerialLink& link) {
  const CSerialLink::FrameRecord& record = link.LastRecord();
  if (record.left.empty()) return;
  link.Clock().PauseUntil(record.left.back().at + std::chrono::milliseconds(kMaxAnswerWaitMs));
}

// One read-row with the pause after it, asked again while its fault passes
// and `*triesLeft` allows. The answer of the last try; FrameFailed(link)
// tells whether that try's frame failed (its answer then empty).
CSerialLink::RowAnswer ReadRowTrying(CSerialLink& link, int32_t unit, int32_t row, bool reportMissing,
                                     bool silentToo, const Retries& retries, int* triesLeft) {
  for (;;) {
    // What follows the answer is looked at in the pause after it.
    link.TakeLastEchoInNextPause();
    CSerialLink::RowAnswer answer = link.ReadRowAnswer(unit, row, reportMissing);
    if (!FrameFailed(link)) link.PauseAfterFrame(kPauseAfterReadRowMs);
    const std::optional<RetryCause> cause = FaultThatPasses(link, answer, silentToo);
    if (cause && *triesLeft > 0) {
      --*triesLeft;
      if (retries.retried) retries.retried(row, *cause);
      QuietSinceFrame(link);
      continue;
    }
    // Bytes came beyond the answer, or it came late: not the unit's row.
    if (FrameFailed(link)) return {};
    return answer;
  }
}

bool Differs(const CSerialLink::RowAnswer& answer, const UnitRow& row) {
  for (int k = 0; k < unit_protocol::kAnswerBytes; ++k) {
    if (answer.channels[k] != unit_protocol::LowByte(row.values[k])) return true;
  }
  return false;
}

}  // namespace

std::vector<int32_t> AllRows() {
  std::vector<int32_t> rows;
  for (int32_t row = 0; row < unit_protocol::kRowsPerUnit; ++row) rows.push_back(row);
  return rows;
}

void WriteRows(CSerialLink& link, int32_t unit, const std::vector<UnitRow>& rows, const RowProgress& progress) {
  const int total = static_cast<int>(rows.size());
  for (int i = 0; i < total; ++i) {
    const UnitRow& r = rows[i];
    // On a line that echoes, the row's last echo is checked in the pause.
    link.TakeLastEchoInNextPause();
    link.WriteRow(unit, r.row, r.values[0], r.values[1], r.values[2], r.values[3]);
    link.PauseAfterFrame(kPauseAfterWriteRowMs);
    if (FrameFailed(link)) return;
    if (progress) progress(i + 1, total);
  }
  // The unit takes the last row in before it is spoken to again.
  if (total > 0) link.Clock().PauseMs(kPauseAfterWriteRowMs);
}

std::vector<CSerialLink::RowAnswer> ReadRows(CSerialLink& link, int32_t unit, const std::vector<int32_t>& rows,
                                             const ReadHooks& hooks) {
  std::vector<CSerialLink::RowAnswer> answers;
  answers.reserve(rows.size());
  const int total = static_cast<int>(rows.size());
  for (int i = 0; i < total; ++i) {
    int triesLeft = hooks.retries.count;
    answers.push_back(ReadRowTrying(link, unit, rows[i], hooks.reportMissing, false, hooks.retries, &triesLeft));
    if (FrameFailed(link)) break;
    if (hooks.answered) hooks.answered(rows[i], answers.back());
    if (hooks.progress) hooks.progress(i + 1, total);
  }
  return answers;
}

std::vector<int32_t> ScanUnits(CSerialLink& link, const RowProgress& progress) {
  std::vector<int32_t> present;
  for (int32_t unit = 0; unit < unit_protocol::kUnitAddresses; ++unit) {
    int arrived = 0;
    // A unit answers with four bytes. Fewer may be a stray byte's, which does
    // not come again at the same moment: such an address is asked once more,
    // and a unit that answers in part again is there.
    for (int ask = 0; ask < 2; ++ask) {
      link.TakeLastEchoInNextPause();
      arrived = link.ReadRowAnswer(unit, 0).arrived;
      if (FrameFailed(link)) break;
      link.PauseAfterFrame(kPauseAfterReadRowMs);
      if (FrameFailed(link) || arrived == 0 || arrived == unit_protocol::kAnswerBytes) break;
    }
    if (FrameFailed(link)) break;
    if (arrived > 0) present.push_back(unit);
    if (progress) progress(unit + 1, unit_protocol::kUnitAddresses);
  }
  return present;
}

std::vector<RowDifference> VerifyRows(CSerialLink& link, int32_t unit, const std::vector<UnitRow>& rows,
                                      const VerifyOptions& options) {
  std::vector<CSerialLink::RowAnswer> answers;
  const int total = static_cast<int>(rows.size());
  for (int i = 0; i < total; ++i) {
    const UnitRow& row = rows[i];
    int triesLeft = options.retries.count;
    CSerialLink::RowAnswer answer =
        ReadRowTrying(link, unit, row.row, false, options.justWritten, options.retries, &triesLeft);
    while (options.justWritten && !FrameFailed(link) && answer.Whole() && Differs(answer, row) && triesLeft > 0) {
      --triesLeft;
      if (options.retries.retried) options.retries.retried(row.row, RetryCause::kDiffered);
      WriteRows(link, unit, {row});
      if (FrameFailed(link)) break;
      answer = ReadRowTrying(link, unit, row.row, false, true, options.retries, &triesLeft);
    }
    if (FrameFailed(link)) break;
    answers.push_back(answer);
    if (options.progress) options.progress(i + 1, total);
  }

  std::vector<RowDifference> differences;
  for (size_t i = 0; i < rows.size(); ++i) {
    const int arrived = i < answers.size() ? answers[i].arrived : 0;  // rows after a failed frame: none
    for (int k = 0; k < unit_protocol::kAnswerBytes; ++k) {
      RowDifference d;
      d.unit = unit;
      d.row = rows[i].row;
      d.channel = k + 1;
      d.expected = unit_protocol::LowByte(rows[i].values[k]);
      if (k < arrived) {
        d.found = answers[i].channels[k];
        if (*d.found == d.expected) continue;
      }
      differences.push_back(d);
    }
  }
  return differences;
}

}  // namespace unit_operations
