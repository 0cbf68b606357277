// The explorer's passes: a fixed run of generated line behaviours, each judged
// by the far end's own record, and the behaviours that once caught the link
// telling more than the line did, kept as rows.
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/unit_operations.h"
#include "device/wire_journal.h"
#include "line_explorer.h"

namespace {

// How many scenarios a pass runs: 20,000 in the quick pass; the long pass
// sets DIMLET_EXPLORER_SCENARIOS.
uint64_t ScenarioCount() {
  const char* count = std::getenv("DIMLET_EXPLORER_SCENARIOS");
  return count != nullptr ? std::strtoull(count, nullptr, 10) : 20'000;
}

TEST(LineExplorer, EveryScenarioTellsOnlyWhatTheLineDid) {
  if (const char* seed = std::getenv("DIMLET_EXPLORER_REPLAY")) {
    std::printf("%s", explorer::Replay(std::strtoull(seed, nullptr, 10)).c_str());
    return;
  }
  // Each scenario's line in one line, for a table of what a pass covers.
  const bool describe = std::getenv("DIMLET_EXPLORER_DESCRIBE") != nullptr;
  const uint64_t count = ScenarioCount();
  int failed = 0;
  for (uint64_t seed = 1; seed <= count && failed < 20; ++seed) {
    if (describe) {
      explorer::Choices choices(seed);
      std::printf("%s\n", explorer::Generate(choices).Describe().c_str());
    }
    for (const std::string& finding : explorer::ExploreSeed(seed)) {
      ADD_FAILURE() << finding;
      ++failed;
    }
  }
}

// Line behaviours that once made the link tell more than the line did, each
// named after what it did then.
using testsupport::AnswerFault;
using testsupport::LineScript;
using unit_commands::UnitCommand;

explorer::Scenario Line(const LineScript& script, EchoMode echo, int waitMs, std::vector<explorer::Step> steps) {
  explorer::Scenario scenario;
  scenario.script = script;
  scenario.options.echo = echo;
  scenario.options.answerWaitMs = waitMs;
  scenario.steps = std::move(steps);
  return scenario;
}

LineScript Echoing(int ms, std::vector<int> units = {}) {
  LineScript script;
  script.echo = {true, std::chrono::milliseconds(ms), 0, 0};
  for (int address : units) {
    testsupport::FarUnit unit;
    unit.address = address;
    for (auto& row : unit.rows) row = {10, 20, 30, static_cast<uint8_t>(address)};
    script.units.push_back(unit);
  }
  return script;
}

explorer::Step Scan() {
  explorer::Step step;
  step.kind = explorer::StepKind::kScan;
  return step;
}
explorer::Step ReadRow(int unit, int row) {
  explorer::Step step;
  step.kind = explorer::StepKind::kReadRow;
  step.unit = unit;
  step.rows = {row};
  return step;
}
explorer::Step Run(int unit) {
  explorer::Step step;
  step.kind = explorer::StepKind::kCommand;
  step.unit = unit;
  step.command = UnitCommand::kRun;
  return step;
}

struct Caught {
  const char* name;
  explorer::Scenario (*scenario)();
};

const Caught kCaught[] = {
    // Every address found on an empty line: the late echo of each read
    // frame, driven as a line without echo, taken for an answer.
    {"LateEchoDrivenOffFoundUnitsOnAnEmptyLine", [] { return Line(Echoing(30), EchoMode::kOff, 20, {Scan()}); }},
    // An echo later than the longest wait, taken under auto for the next
    // address's answer.
    {"EchoBeyondTheLongestWaitFoundTheNextUnit", [] { return Line(Echoing(150), EchoMode::kAuto, 10, {Scan()}); }},
    // One answer byte and the frame's late echo made a whole row.
    {"LateEchoAndOneAnswerByteMadeARow",
     [] {
       LineScript script = Echoing(30, {0});
       for (int channel = 2; channel <= 4; ++channel) {
         script.answerFaults.push_back({1, AnswerFault::Kind::kDrop, channel, {}});
       }
       return Line(script, EchoMode::kOff, 35, {ReadRow(0, 1)});
     }},
    // A stray byte in an empty address's answer window found a unit.
    {"AStrayByteFoundAUnit",
     [] {
       LineScript script;
       script.strays = {{std::chrono::milliseconds(18), 0x5A}};
       return Line(script, EchoMode::kOff, 100, {Scan()});
     }},
    // A read cut short by its echo left the units mid-frame, and the next
    // command's first byte completed it: "run" told as sent, never heard.
    {"ACutFrameSwallowedTheNextCommand", [] { return Line(Echoing(8, {0}), EchoMode::kOff, 0, {Scan(), Run(0)}); }},
    // Under auto, the first read's answer was taken however late it came
    // once its echo had been recognised.
    {"TheFirstAnswerAfterALateEchoWasTakenPastItsWait",
     [] {
       LineScript script = Echoing(30, {6});
       script.answerDelay = std::chrono::milliseconds(40);
       return Line(script, EchoMode::kAuto, 35, {ReadRow(6, 1)});
     }},
};

class Regression : public testing::TestWithParam<Caught> {};

TEST_P(Regression, TheLineIsToldAsItWas) {
  const explorer::Scenario scenario = GetParam().scenario();
  for (const std::string& finding : explorer::Judge(scenario)) ADD_FAILURE() << scenario.Describe() << ": " << finding;
}

// A write that ends early on a fault after its frame left: the journal's
// rows, the words of how far the frame got and the far end agree, since all
// are read from the one record.
TEST(LinkRecord, AFrameThatLeftWholeIsJournalledThoughItsEchoNeverCame) {
  testsupport::VirtualClock clock;
  LineScript script = Echoing(1, {2});
  script.echo.dropEvery = 7;  // the last byte of the first write-row frame
  testsupport::ScriptedLine line(clock, script);
  CSerialLink link;
  link.SetClock(clock);
  link.SetLineOpener(line.Opener());
  link.SetLineOptions({EchoMode::kOn, 0, false});
  ASSERT_TRUE(link.OpenPort(1, kLineBaud));
  unit_operations::WriteRows(link, 2, {{0, {1, 2, 3, 4}}, {1, {300, -5, 7, 8}}});

  EXPECT_EQ(link.LastFrame(), CSerialLink::FrameOutcome::kEchoMissing);
  EXPECT_STREQ(FrameLeftWords(link.LastRecord()), "sent, not confirmed");
  const std::vector<CSerialLink::FrameRecord> records = link.TakeRecords();
  const WireJournal wire = WireJournalOf(records);
  ASSERT_EQ(wire.rows.size(), 1u) << "the row that reached the unit is journalled";
  EXPECT_EQ(wire.rows[0], (JournalRow{1, {1, 2, 3, 4}}));
  ASSERT_EQ(line.Frames().size(), 1u);
  EXPECT_TRUE(line.Frames()[0].whole);
  EXPECT_EQ(line.Units()[0].rows[0], (std::array<uint8_t, 4>{1, 2, 3, 4}));
}

// Bytes left on the line before it was opened (a run with another echo
// setting) are dropped and counted, and fail nothing of this run's.
TEST(LinkRecord, BytesWaitingAtOpenAreDroppedAndCounted) {
  testsupport::VirtualClock clock;
  LineScript script = Echoing(0, {3});
  script.echo.echoes = false;
  script.waitingAtOpen = {0xA3, 0x52, 0x00};
  testsupport::ScriptedLine line(clock, script);
  CSerialLink link;
  link.SetClock(clock);
  link.SetLineOpener(line.Opener());
  ASSERT_TRUE(link.OpenPort(1, kLineBaud));
  EXPECT_EQ(link.DroppedAtOpen(), 3);
  EXPECT_TRUE(link.ReadRowAnswer(3, 0).Whole());
  EXPECT_EQ(link.LastFrame(), CSerialLink::FrameOutcome::kSent);
}

// The pauses the units need between rows, as they hear the frames: after a
// write-row its 18 ms and 10 ms more, after a read-row its 30 ms and 20 ms.
TEST(RowPauses, EachRowFollowsTheOneBeforeAfterItsOwnTimeAndThePauseBetweenRows) {
  testsupport::VirtualClock clock;
  LineScript script = Echoing(0, {6});
  script.echo.echoes = false;
  testsupport::ScriptedLine line(clock, script);
  CSerialLink link;
  link.SetClock(clock);
  link.SetLineOpener(line.Opener());
  link.SetLineOptions({EchoMode::kOff, 0, false});
  ASSERT_TRUE(link.OpenPort(1, kLineBaud));
  const auto start = clock.Now();
  unit_operations::WriteRows(link, 6, {{0, {1, 2, 3, 4}}, {5, {5, 6, 7, 8}}, {7, {9, 9, 9, 9}}});
  EXPECT_GE(clock.Now() - start, std::chrono::milliseconds(3 * 28 + 10)) << "and 10 ms more after the last";
  unit_operations::ReadRows(link, 6, {5, 2});
  const auto& frames = line.Frames();
  ASSERT_EQ(frames.size(), 5u);
  for (size_t i = 1; i < frames.size(); ++i) {
    const auto least = std::chrono::milliseconds(frames[i - 1].read ? 30 + 20 : 18 + 10);
    EXPECT_GE(frames[i].at.front() - frames[i - 1].at.front(), least) << "frame " << i << " came too soon";
  }
}

// An automatic answer wait rises with a unit that answers late, from the
// next read on; a wait that was set stays, and the late read fails as before.
struct WaitCase {
  const char* name;
  int answerWaitMs;
  std::optional<int> raisedTo;  // by the first read; nothing: not raised
  CSerialLink::FrameOutcome second;
};

class AnswerWait : public testing::TestWithParam<WaitCase> {};

TEST_P(AnswerWait, RisesOnlyWhenAutomatic) {
  testsupport::VirtualClock clock;
  LineScript script = Echoing(0, {3});
  script.echo.echoes = false;
  script.answerDelay = std::chrono::milliseconds(9);
  testsupport::ScriptedLine line(clock, script);
  CSerialLink link;
  link.SetClock(clock);
  link.SetLineOpener(line.Opener());
  link.SetLineOptions({EchoMode::kOff, GetParam().answerWaitMs, false});
  ASSERT_TRUE(link.OpenPort(1, kLineBaud));
  unit_operations::ReadRows(link, 3, {0});
  EXPECT_EQ(link.LastFrame(), CSerialLink::FrameOutcome::kAnswerLate);
  const auto& raised = link.LastRecord().raised;
  EXPECT_EQ(raised ? std::optional<int>(raised->toMs) : std::nullopt, GetParam().raisedTo);
  const std::vector<CSerialLink::RowAnswer> again = unit_operations::ReadRows(link, 3, {0});
  EXPECT_EQ(link.LastFrame(), GetParam().second);
  EXPECT_EQ(!again.empty() && again[0].Whole(), GetParam().second == CSerialLink::FrameOutcome::kSent);
}

INSTANTIATE_TEST_SUITE_P(Waits, AnswerWait,
                         testing::Values(WaitCase{"Auto", kAnswerWaitAuto, 15, CSerialLink::FrameOutcome::kSent},
                                         WaitCase{"SetTo5", 5, std::nullopt, CSerialLink::FrameOutcome::kAnswerLate}),
                         [](const testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

// A kept 5, the old default, is the automatic wait; any other number is set.
TEST(AnswerWaitText, AKeptFiveIsAutomatic) {
  EXPECT_EQ(AnswerWaitFromText("auto"), kAnswerWaitAuto);
  EXPECT_EQ(AnswerWaitFromText("5"), kAnswerWaitAuto);
  EXPECT_EQ(AnswerWaitFromText("30"), 30);
  EXPECT_EQ(AnswerWaitFromText("101"), std::nullopt);
  EXPECT_EQ(AnswerWaitText(kAnswerWaitAuto), "auto");
}

INSTANTIATE_TEST_SUITE_P(Caught, Regression, testing::ValuesIn(kCaught),
                         [](const testing::TestParamInfo<Caught>& info) { return std::string(info.param.name); });

}  // namespace
