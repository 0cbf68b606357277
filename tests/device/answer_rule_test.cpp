// What counts as a unit's answer, on lines that misbehave in the ways field
// lines do: an echo that comes at once, late or in part, a unit whose row
// begins with the frame's own bytes, a line that never stops sending. The far
// end (support/misbehaving_line.h) is written apart from device/ and the
// simulator.

#include <atomic>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "device/link_words.h"
#include "device/unit_operations.h"
#include "sim/sim_line.h"
#include "support/misbehaving_line.h"
#include "support/row_names.h"

namespace {

using Outcome = CSerialLink::FrameOutcome;
using std::chrono::milliseconds;
using namespace unit_operations;
using testsupport::LineHabits;
using testsupport::MisbehavingLine;

struct LineCase {
  const char* name;
  LineHabits habits;
  EchoMode echo;
  int answerWaitMs;
  bool usable;              // reads and verifies work with this setting
  std::optional<Outcome> firstOutcome;  // of the first read after opening; nothing: any, without a row
  std::string advice;       // in the words of a failing first read
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

const std::array<uint8_t, 4> kUnitRow = {0x11, 0x22, 0x33, 0x44};
// CH1..CH3 are the unit's own address byte, 'R' and the row index.
const std::array<uint8_t, 4> kRowLikeAFrame = {0xA1, 0x52, 0x00, 0x09};

// Busy test machines delay the far end by a few ms: rows that are not about
// lateness give the line a wait to spare.
const LineCase kLines[] = {
    {"Plain", {-1, 1, false, 0, kUnitRow}, EchoMode::kAuto, 30, true, Outcome::kSent, ""},
    {"EchoAtOnce", {0, 1, false, 0, kUnitRow}, EchoMode::kAuto, 30, true, Outcome::kSent, ""},
    {"Echo30MsLate", {30, 1, false, 0, kUnitRow}, EchoMode::kAuto, 0, false, Outcome::kEchoLate,
     "set the answer wait to"},
    // The first byte's echo comes back while the frame is sent, the last one's after the answer wait.
    {"Echo8MsLate", {8, 1, false, 0, kUnitRow}, EchoMode::kAuto, 0, false, Outcome::kEchoLate,
     "set the answer wait to"},
    {"Echo30MsLateWaitSet", {30, 1, false, 0, kUnitRow}, EchoMode::kAuto, 60, true, Outcome::kSent, ""},
    {"Echo30MsLateDrivenOff", {30, 1, false, 0, kUnitRow}, EchoMode::kOff, 0, false, Outcome::kStrayBytes,
     "echoes late"},
    {"Echo100MsLate", {100, 1, false, 0, kUnitRow}, EchoMode::kAuto, 0, false, std::nullopt, ""},
    {"RowBeginsWithTheFrame", {-1, 1, false, 0, kRowLikeAFrame}, EchoMode::kAuto, 30, true, Outcome::kSent,
     ""},
    // Driven as a line without echo, nothing tells such a row from a late
    // echo and one answer byte: refused, never stored.
    {"RowBeginsWithTheFrameDrivenOff", {-1, 1, false, 0, kRowLikeAFrame}, EchoMode::kOff, 30, false,
     Outcome::kEchoUnexpected, "set its echo to on"},
    {"Babbling", {-1, 1, true, 0, kUnitRow}, EchoMode::kAuto, 30, false, Outcome::kStrayBytes, "noise"},
    {"PartialEcho", {0, 2, false, 0, kUnitRow}, EchoMode::kAuto, 30, false, Outcome::kStrayBytes, ""},
    {"AnswersLate", {-1, 1, false, 25, kUnitRow}, EchoMode::kOff, 0, false, Outcome::kAnswerLate,
     "ms late: set the answer wait to"},
    // Late by less than the answer's own pauses: the wait named is 10 or 15, not what the pauses add.
    {"AnswersAFewMsLate", {-1, 1, false, 6, kUnitRow}, EchoMode::kOff, 0, false, Outcome::kAnswerLate,
     "late: set the answer wait to 1"},
    // Late enough to land in the answer window of the read that follows.
    {"AnswersAsLateAsTheNextRead", {-1, 1, false, 52, kUnitRow}, EchoMode::kOff, 0, false, Outcome::kAnswerLate,
     "ms late: set the answer wait to"},
};

class AnswerRule : public testing::TestWithParam<LineCase> {};

// The first read after opening takes the unit's row or fails in words that
// name the cure; then a scan and a write with read-back to a unit that is
// there, and to units that are not, succeed only where the line allows.
TEST_P(AnswerRule, OnlyTheUnitsOwnTimelyAnswerIsEverTakenForOne) {
  const LineCase& c = GetParam();
  MisbehavingLine far(c.habits);
  CSerialLink link([&](int32_t) { return far.Path(); });
  link.SetLineOptions({c.echo, c.answerWaitMs, false});
  ASSERT_EQ(link.OpenPort(1, 9600), 1) << link.Reason();

  const std::array<uint8_t, 4> row = c.habits.row;
  const CSerialLink::RowAnswer first = link.ReadRowAnswer(1, 0);
  if (c.firstOutcome) {
    EXPECT_EQ(link.LastFrame(), *c.firstOutcome) << link_words::FrameWords(link);
  }
  if (c.firstOutcome == Outcome::kSent) {
    EXPECT_EQ(first.channels, row);
    EXPECT_EQ(first.arrived, 4);
  } else {
    EXPECT_EQ(first.arrived, 0) << "a row was taken from a line at fault";
  }
  EXPECT_NE(link_words::FrameWords(link).find(c.advice), std::string::npos) << link_words::FrameWords(link);

  const std::vector<int32_t> units = ScanUnits(link);
  for (int32_t unit : units) EXPECT_EQ(unit, 1) << "the scan lists a unit that is not on the line";
  EXPECT_EQ(units == std::vector<int32_t>{1} && link.LastFrame() == Outcome::kSent, c.usable)
      << units.size() << " units, " << link_words::FrameWords(link);

  // Absent units first: each read-back must find nothing, never the rows sent.
  const std::vector<UnitRow> rows = {{0, {7, 255, 0, 0xA5}}, {1, {1, 2, 3, 4}}};
  for (int32_t unit : {0, 4}) {
    WriteRows(link, unit, rows);
    const bool verified = link.LastFrame() == Outcome::kSent && VerifyRows(link, unit, rows).empty() &&
                          link.LastFrame() == Outcome::kSent;
    EXPECT_FALSE(verified) << "unit " << unit << " is not on the line, yet its rows were verified";
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, AnswerRule, testing::ValuesIn(kLines), testsupport::RowName{});

// The window sends one frame at start-up and waits for no echo; the operator's
// first command comes seconds later. The start-up frame's late echo is then
// found long after it came: the answer wait named must be the one that works.
TEST(AnswerRuleAfterStartUp, AnEchoFoundLongAfterItCameIsNotTakenAsThatLate) {
  MisbehavingLine far({30, 1, false, 0, kUnitRow});
  CSerialLink link([&](int32_t) { return far.Path(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1) << link.Reason();
  link.SetHighestSequence(1, 8);
  EXPECT_EQ(link.LastFrame(), Outcome::kSent);
  std::this_thread::sleep_for(milliseconds(300));
  link.WriteRow(1, 0, 1, 2, 3, 4);
  EXPECT_EQ(link.LastFrame(), Outcome::kEchoLate);
  EXPECT_GT(link.LastLateness().answerWaitMs, 0) << link_words::FrameWords(link);
}

}  // namespace

namespace {

// A busy machine holds the far end back past the answer wait now and then. A
// scan may then fail, in words; it must never list fewer units than answered
// and call that a success.
TEST(AnswerRuleDrill, AScanBesideBusyLoopsListsEveryUnitOrFails) {
  sim::SimOptions options;
  options.echo = true;
  options.units = {1, 4};
  sim::SimLine line(options);
  ASSERT_TRUE(line.Start());
  std::atomic<bool> stop{false};
  std::vector<std::thread> busy;
  for (int i = 0; i < 3; ++i) {
    busy.emplace_back([&stop] {
      volatile uint64_t spin = 0;
      while (!stop) spin = spin + 1;
    });
  }
  int failed = 0;
  for (int run = 0; run < 60; ++run) {
    CSerialLink link([&](int32_t) { return line.SlavePath(); });
    ASSERT_EQ(link.OpenPort(1, 9600), 1);
    const std::vector<int32_t> units = ScanUnits(link);
    // A simulator held back for the whole scan answers nobody: no unit
    // answers is a failure too (dimlet-cli exits 4).
    if (link.LastFrame() != Outcome::kSent || units.empty()) {
      ++failed;
      continue;
    }
    EXPECT_EQ(units, (std::vector<int32_t>{1, 4})) << "run " << run;
  }
  stop = true;
  for (std::thread& t : busy) t.join();
  RecordProperty("failed_scans", failed);
}

}  // namespace
