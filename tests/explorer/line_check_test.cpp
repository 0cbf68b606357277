// The line check on virtual time, against the scripted far end: how late
// each unit's answers come, the answer wait it advises, and the addresses it
// takes two units to share, each row named after the fault it would catch.
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/line_check.h"
#include "support/scripted_line.h"

namespace {

using std::chrono::milliseconds;
using testsupport::FarUnit;
using testsupport::LineScript;
using testsupport::Micros;

// Every unit holds the same rows: two at one address garble only where their
// timings differ.
FarUnit Unit(int address, Micros drift = Micros{0}) {
  FarUnit unit;
  unit.address = address;
  for (auto& row : unit.rows) row = {0xFE, 0xFD, 0xFB, 0xF7};
  unit.drift = drift;
  return unit;
}

struct CheckCase {
  const char* name;
  std::vector<FarUnit> units;
  Micros answerDelay;
  int answerWaitMs;
  std::vector<testsupport::AnswerFault> faults;
  std::vector<int32_t> present;
  int shared;          // the address taken to be shared; -1: none
  double leastMs, medianMs, mostMs;  // of the first unit's answers
  int32_t advisedMs;
};

TEST(LineCheck, TellsLatenessAdvisesTheWaitAndFindsSharedAddresses) {
  using Fault = testsupport::AnswerFault;
  const CheckCase cases[] = {
      {"answers 12 to 14 ms after the frame, taken by a wait of 20, want 20", {Unit(2, milliseconds(1))},
       milliseconds(12), 20, {}, {2}, -1, 12, 13, 14, 20},
      {"answers 12 ms after the frame past a wait of 5: when it came, not when it was taken", {Unit(2)},
       milliseconds(12), 5, {}, {2}, -1, 12, 12, 12, 15},
      {"an answer there at once reads as the protocol's pause, and needs no more", {Unit(2)}, milliseconds(1), 5,
       {}, {2}, -1, 5, 5, 5, 5},
      {"two units at 3 a little apart by a different step each read garble differently",
       {Unit(0), Unit(3), Unit(3, Micros{300})}, milliseconds(1), 5, {}, {0, 3}, 3, 5, 5, 5, 5},
      {"two units at 3 answering at one moment with equal rows read as one (what cannot be known)",
       {Unit(3), Unit(3)}, milliseconds(1), 5, {}, {3}, -1, 5, 5, 5, 5},
      {"a unit that once loses its last byte is not taken for two", {Unit(1)}, milliseconds(1), 5,
       {{12, Fault::Kind::kDrop, 4}}, {1}, -1, 5, 5, 5, 5},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::VirtualClock clock;
    LineScript script;
    script.units = c.units;
    script.answerDelay = c.answerDelay;
    script.answerFaults = c.faults;
    testsupport::ScriptedLine line(clock, script);
    CSerialLink link;
    link.SetClock(clock);
    link.SetLineOpener(line.Opener());
    LineOptions options;
    options.echo = EchoMode::kOff;
    options.answerWaitMs = c.answerWaitMs;
    link.SetLineOptions(options);
    ASSERT_EQ(link.OpenPort(1, kLineBaud), 1);

    const line_check::Survey survey = line_check::Run(link);
    EXPECT_FALSE(survey.stoppedBy);
    EXPECT_EQ(survey.present, c.present);
    const std::vector<line_check::UnitFindings> findings = line_check::Judge(survey.rowReads);
    ASSERT_EQ(findings.size(), c.present.size());
    int shared = -1;
    for (const line_check::UnitFindings& unit : findings) {
      if (unit.shared) shared = unit.unit;
    }
    EXPECT_EQ(shared, c.shared);
    ASSERT_TRUE(findings[0].late);
    const auto ms = [](Micros late) { return std::round(late.count() / 100.0) / 10; };
    EXPECT_EQ(ms(findings[0].late->least), c.leastMs);
    EXPECT_EQ(ms(findings[0].late->median), c.medianMs);
    EXPECT_EQ(ms(findings[0].late->most), c.mostMs);
    std::optional<Micros> most;
    for (const line_check::UnitFindings& unit : findings) most = std::max(most.value_or(Micros{0}), unit.late->most);
    EXPECT_EQ(line_check::AdvisedAnswerWait(link.LatencyTimerMs(), most), c.advisedMs);
  }
}

}  // namespace
