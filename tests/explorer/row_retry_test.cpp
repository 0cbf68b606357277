// A row's further tries on virtual time, against the scripted far end: which
// faults pass and are asked again (and counted), which never are, and that
// the far end heard the second frame only once the line had been quiet for
// the longest answer wait. Each row is named after the fault it would catch.
#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "device/unit_operations.h"
#include "support/scripted_line.h"

namespace {

using std::chrono::milliseconds;
using testsupport::AnswerFault;
using Kind = testsupport::AnswerFault::Kind;
using Outcome = CSerialLink::FrameOutcome;
using unit_operations::RetryCause;

constexpr std::array<uint8_t, 4> kHeld{11, 22, 33, 44};

struct RetryCase {
  const char* name;
  std::vector<AnswerFault> faults;
  int retries;
  bool verifyWritten;  // VerifyRows as after a write, of kHeld (or of `written`)
  std::array<uint8_t, 4> written;
  std::vector<RetryCause> tried;  // the further tries, as told
  Outcome outcome;
  int arrived;         // of the read's answer; for a verify, 4 when nothing differs
};

TEST(RowRetry, FaultsThatPassAreAskedAgainOnceTheLineIsQuietAndCounted) {
  const std::array<uint8_t, 4> other{11, 22, 33, 45};
  const RetryCase cases[] = {
      {"an answer that lost its last byte once is read again", {{1, Kind::kDrop, 4}}, 1, false, kHeld,
       {RetryCause::kAnswerInPart}, Outcome::kSent, 4},
      {"a whole answer that came late once is read again", {{1, Kind::kLate, 1, milliseconds(15)}}, 1, false, kHeld,
       {RetryCause::kAnswerLate}, Outcome::kSent, 4},
      {"a byte no unit sent in the answer is never tried away", {{1, Kind::kExtra, 2}}, 2, false, kHeld, {},
       Outcome::kStrayBytes, 0},
      {"with no further tries an answer in part stays as it came", {{1, Kind::kDrop, 4}}, 0, false, kHeld, {},
       Outcome::kSent, 3},
      {"an answer in part again is the row's answer", {{1, Kind::kDrop, 4}, {2, Kind::kDrop, 4}}, 1, false, kHeld,
       {RetryCause::kAnswerInPart}, Outcome::kSent, 3},
      {"a silent row is an answer to a read", {{1, Kind::kSilent, 1}}, 1, false, kHeld, {}, Outcome::kSent, 0},
      {"a row silent just after its write is read again", {{1, Kind::kSilent, 1}}, 1, true, kHeld,
       {RetryCause::kNoAnswer}, Outcome::kSent, 4},
      {"a row read back other than written is written again and read back", {}, 1, true, other,
       {RetryCause::kDiffered}, Outcome::kSent, 4},
  };
  for (const RetryCase& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::VirtualClock clock;
    testsupport::LineScript script;
    testsupport::FarUnit unit;
    unit.address = 3;
    unit.rows[5] = kHeld;
    script.units = {unit};
    script.answerFaults = c.faults;
    testsupport::ScriptedLine line(clock, script);
    CSerialLink link;
    link.SetClock(clock);
    link.SetLineOpener(line.Opener());
    link.SetLineOptions({EchoMode::kOff, 10, false});
    ASSERT_EQ(link.OpenPort(1, kLineBaud), 1);

    std::vector<RetryCause> tried;
    const unit_operations::Retries retries{c.retries, [&](int32_t row, RetryCause cause) {
                                             EXPECT_EQ(row, 5);
                                             tried.push_back(cause);
                                           }};
    int arrived = 0;
    if (c.verifyWritten) {
      unit_operations::VerifyOptions options;
      options.retries = retries;
      options.justWritten = true;
      const unit_operations::UnitRow row{5, {c.written[0], c.written[1], c.written[2], c.written[3]}};
      arrived = unit_operations::VerifyRows(link, 3, {row}, options).empty() ? 4 : 0;
      EXPECT_EQ(line.Units()[0].rows[5], c.written) << "the unit does not hold the row written";
    } else {
      unit_operations::ReadHooks hooks;
      hooks.retries = retries;
      arrived = unit_operations::ReadRows(link, 3, {5}, hooks).at(0).arrived;
    }
    EXPECT_EQ(tried, c.tried);
    EXPECT_EQ(link.LastFrame(), c.outcome);
    EXPECT_EQ(arrived, c.arrived);

    // Every read asked again began only once the longest answer wait had
    // passed since the read before it, as the far end heard them.
    std::vector<const testsupport::HeardFrame*> reads;
    for (const testsupport::HeardFrame& frame : line.Frames()) {
      if (frame.read) reads.push_back(&frame);
    }
    ASSERT_EQ(reads.size(), 1 + c.tried.size());
    for (size_t i = 1; i < reads.size(); ++i) {
      if (c.tried[i - 1] == RetryCause::kDiffered) continue;  // a write came between
      EXPECT_GE(reads[i]->at.front() - reads[i - 1]->at.back(), milliseconds(kMaxAnswerWaitMs));
    }
  }
}

}  // namespace
