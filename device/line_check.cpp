// The check of a line before commissioning: a scan that goes on past what
// it finds, rows read again and again, and what their records tell.
#include "device/line_check.h"

#include <algorithm>

#include "device/unit_protocol.h"

namespace line_check {
namespace {

using std::chrono::milliseconds;

// A byte already waiting is taken at the link's first look after the
// protocol's pause; a look a little late (a busy machine) is still that one.
constexpr Micros kFirstLookSlack = milliseconds(1);

// Whether `a` and `b` differ where both have bytes.
bool Differ(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  const size_t common = std::min(a.size(), b.size());
  return !std::equal(a.begin(), a.begin() + static_cast<long>(common), b.begin());
}

}  // namespace

Reading ReadingOf(int32_t unit, int32_t row, const CSerialLink::FrameRecord& record, bool echoes) {
  Reading reading;
  reading.unit = unit;
  reading.row = row;
  reading.outcome = record.outcome;
  reading.lateness = record.lateness;
  // On a line that echoes, the frame's own bytes come back first.
  const size_t echoed = echoes ? std::min(record.left.size(), record.came.size()) : 0;
  for (size_t i = echoed; i < record.came.size(); ++i) reading.bytes.push_back(record.came[i].value);
  if (record.outcome == CSerialLink::FrameOutcome::kAnswerLate) {
    // An answer past the answer wait is taken only after the read's pauses;
    // when it began to come is the link's lateness.
    reading.late = milliseconds(record.lateness.lateMs);
  } else if (!reading.bytes.empty() && !record.left.empty()) {
    reading.late = std::chrono::duration_cast<Micros>(record.came[echoed].at - record.left.back().at);
  }
  return reading;
}

bool EndsCheck(CSerialLink::FrameOutcome outcome) {
  using Outcome = CSerialLink::FrameOutcome;
  return outcome != Outcome::kSent && outcome != Outcome::kStrayBytes && outcome != Outcome::kAnswerLate;
}

Survey Run(CSerialLink& link, const Hooks& hooks) {
  Survey survey;
  // One read, the pause after it (in which what follows the answer is
  // looked at), and what its record tells.
  const auto readRow = [&](int32_t unit, int32_t row, std::vector<Reading>* into) -> const Reading& {
    link.TakeLastEchoInNextPause();
    link.ReadRowAnswer(unit, row);
    // A frame that brought stray bytes still gets its pause: the line
    // quietens before the next.
    if (!EndsCheck(link.LastFrame())) link.PauseAfterFrame(unit_operations::kPauseAfterReadRowMs);
    const std::vector<CSerialLink::FrameRecord> records = link.TakeRecords();
    const CSerialLink::FrameRecord& record = records.empty() ? link.LastRecord() : records.back();
    into->push_back(ReadingOf(unit, row, record, link.Echoes().value_or(false)));
    if (EndsCheck(link.LastFrame())) survey.stoppedBy = link.LastFrame();
    return into->back();
  };

  for (int32_t unit = 0; unit < unit_protocol::kUnitAddresses && !survey.stoppedBy; ++unit) {
    size_t brought = 0;
    // Fewer than four bytes may be a stray byte's, which does not come again
    // at the same moment: asked once more, as a scan asks.
    for (int ask = 0; ask < 2 && !survey.stoppedBy; ++ask) {
      brought = readRow(unit, 0, &survey.scanReads).bytes.size();
      if (brought == 0 || brought >= static_cast<size_t>(unit_protocol::kAnswerBytes)) break;
    }
    if (survey.stoppedBy) break;
    if (brought > 0) survey.present.push_back(unit);
    if (hooks.scanned) hooks.scanned(unit + 1, unit_protocol::kUnitAddresses);
  }

  const int total = static_cast<int>(survey.present.size()) * unit_protocol::kRowsPerUnit * kReadsPerRow;
  int done = 0;
  for (int32_t unit : survey.present) {
    if (hooks.goOn && !hooks.goOn()) {
      survey.stoppedBefore = unit;
      return survey;
    }
    for (int32_t row = 0; row < unit_protocol::kRowsPerUnit; ++row) {
      for (int n = 0; n < kReadsPerRow; ++n) {
        if (survey.stoppedBy) return survey;
        readRow(unit, row, &survey.rowReads);
        if (hooks.read) hooks.read(++done, total);
      }
    }
  }
  return survey;
}

std::vector<UnitFindings> Judge(const std::vector<Reading>& rowReads) {
  std::vector<UnitFindings> findings;
  std::vector<std::vector<const Reading*>> readsOf;
  for (const Reading& reading : rowReads) {
    auto it = std::find_if(findings.begin(), findings.end(),
                           [&](const UnitFindings& f) { return f.unit == reading.unit; });
    if (it == findings.end()) {
      UnitFindings unit;
      unit.unit = reading.unit;
      findings.push_back(unit);
      readsOf.emplace_back();
      it = findings.end() - 1;
    }
    readsOf[static_cast<size_t>(it - findings.begin())].push_back(&reading);
  }

  for (size_t u = 0; u < findings.size(); ++u) {
    UnitFindings& unit = findings[u];
    std::vector<Micros> lates;
    for (size_t i = 0; i < readsOf[u].size(); ++i) {
      const Reading& reading = *readsOf[u][i];
      if (reading.late) lates.push_back(*reading.late);
      if (reading.outcome == CSerialLink::FrameOutcome::kStrayBytes) ++unit.strayReads;
      if (reading.outcome == CSerialLink::FrameOutcome::kAnswerLate &&
          (!unit.answeredLate || reading.lateness.lateMs > unit.answeredLate->lateMs)) {
        unit.answeredLate = reading.lateness;
      }
      if (unit.shared || reading.bytes.empty()) continue;
      for (size_t j = 0; j < i; ++j) {
        const Reading& before = *readsOf[u][j];
        if (before.row != reading.row || before.bytes.empty() || !Differ(before.bytes, reading.bytes)) continue;
        unit.shared = SharedSign{reading.row, before.bytes, reading.bytes};
        break;
      }
    }
    if (lates.empty()) continue;
    std::sort(lates.begin(), lates.end());
    unit.late = Spread{lates.front(), lates[(lates.size() - 1) / 2], lates.back(), static_cast<int>(lates.size())};
  }
  return findings;
}

int32_t AdvisedAnswerWait(int32_t latencyTimerMs, std::optional<Micros> mostLate) {
  int32_t wait = unit_protocol::kAnswerWindowMs;
  if (latencyTimerMs >= 0) wait = std::max(wait, AnswerWaitForLatency(latencyTimerMs));
  if (mostLate && *mostLate > milliseconds(unit_protocol::kReadPauseMs) + kFirstLookSlack) {
    wait = std::max(wait, AnswerWaitForLateness(static_cast<int32_t>(std::chrono::ceil<milliseconds>(*mostLate).count())));
  }
  return wait <= kMaxAnswerWaitMs ? wait : 0;
}

}  // namespace line_check
