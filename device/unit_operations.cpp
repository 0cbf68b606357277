// Whole-unit operations: row loops with the pauses between rows, scanning the
// line and comparing what a unit holds with what it was sent.
#include "device/unit_operations.h"

#include "device/link_clock.h"
#include "device/unit_protocol.h"

namespace unit_operations {
namespace {

// A frame that did not go out whole ends the loop: its rows and units after
// it would fare no better, and each would wait out its bounds again. A link
// that was never open goes on, sending nothing, with every pause taken.
bool FrameFailed(const CSerialLink& link) {
  const CSerialLink::FrameOutcome outcome = link.LastFrame();
  return outcome != CSerialLink::FrameOutcome::kSent && outcome != CSerialLink::FrameOutcome::kNotOpen;
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
    // What follows the answer is looked at in the pause after it.
    link.TakeLastEchoInNextPause();
    answers.push_back(link.ReadRowAnswer(unit, rows[i], hooks.reportMissing));
    if (FrameFailed(link)) break;
    link.PauseAfterFrame(kPauseAfterReadRowMs);
    if (FrameFailed(link)) {
      answers.back() = {};  // bytes came beyond it, or it came late: not the unit's row
      break;
    }
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
                                      const RowProgress& progress) {
  std::vector<int32_t> indices;
  for (const UnitRow& r : rows) indices.push_back(r.row);
  const std::vector<CSerialLink::RowAnswer> answers = ReadRows(link, unit, indices, {progress, {}, false});

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
