// Lines that return what they send, as two-wire RS-485 adapters do: the echo
// is taken back and checked, never read as an answer, and every command gives
// the same result as on a plain line. An echo that differs or stops, or comes
// on a line driven as one without echo, is a line fault. Also: the answer
// wait of a late line, and RS-485 mode on a pty.
#include <gtest/gtest.h>

#include "device/link_words.h"
#include "device/unit_operations.h"
#include "sim/sim_line.h"
#include "support/misbehaving_line.h"
#include "support/row_names.h"

namespace {

using namespace unit_operations;
using Outcome = CSerialLink::FrameOutcome;
using std::chrono::milliseconds;
using testsupport::MisbehavingLine;
using testsupport::RowName;

// What unit 1 of a misbehaving line answers.
const std::array<uint8_t, 4> kAnswer = {11, 22, 33, 44};

// A link to `path` with the echo setting `echo`, open.
// A busy machine may delay a far end's answers (this file's own has no
// real-time priority); `answerWaitMs` keeps that from failing a test of echoes.
void Open(CSerialLink& link, const std::string& path, EchoMode echo, int answerWaitMs = 0) {
  link.SetPortResolver([path](int32_t) { return path; });
  link.SetLineOptions({echo, answerWaitMs, false});
  ASSERT_EQ(link.OpenPort(1, 9600), 1) << link.Reason();
}

struct EchoCase {
  const char* name;
  bool lineEchoes;
  EchoMode setting;
};
void PrintTo(const EchoCase& c, std::ostream* os) { *os << c.name; }

class EchoLine : public testing::TestWithParam<EchoCase> {};

// Everything a unit is told, and everything read back, on the simulated line.
TEST_P(EchoLine, EveryCommandScanAndVerifyGiveThePlainLinesResults) {
  const EchoCase& c = GetParam();
  sim::SimOptions options;
  options.echo = c.lineEchoes;
  options.units = {0, 1, 2, 3, 4, 5, 6};  // 7 is free for unit 2's new address
  sim::SimLine line(options);
  std::string error;
  ASSERT_TRUE(line.Start(&error)) << error;
  CSerialLink link;
  Open(link, line.SlavePath(), c.setting, 30);

  std::vector<UnitRow> rows;
  for (int32_t r = 0; r < 8; ++r) rows.push_back({r, {r, 255, 0xA3, 0x57}});
  WriteRows(link, 2, rows);
  EXPECT_EQ(link.LastFrame(), Outcome::kSent) << link_words::FrameWords(link.LastFrame());
  EXPECT_EQ(link.Echoes(), c.lineEchoes);
  EXPECT_TRUE(VerifyRows(link, 2, rows).empty()) << "the rows read back differ";
  line.SetUnitRow(5, 3, {9, 8, 7, 6});
  int32_t ch[4] = {};
  link.ReadRow(5, 3, &ch[0], &ch[1], &ch[2], &ch[3]);
  EXPECT_EQ((std::array<int32_t, 4>{ch[0], ch[1], ch[2], ch[3]}), (std::array<int32_t, 4>{9, 8, 7, 6}));
  EXPECT_EQ(ScanUnits(link), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));

  const std::vector<std::function<void()>> commands = {
      [&] { link.StoreOnUnit(2); }, [&] { link.SetRunState(2, 1); }, [&] { link.SetRunState(2, 0); },
      [&] { link.SetHighestSequence(2, 6); }, [&] { link.ChangeAddress(2, 7); }};
  for (const auto& command : commands) {
    SCOPED_TRACE(&command - commands.data());
    line.ClearRecords();
    command();
    EXPECT_EQ(link.LastFrame(), Outcome::kSent) << link_words::FrameWords(link.LastFrame());
    ASSERT_TRUE(line.WaitForFrames(1, milliseconds(2000)));
  }
  EXPECT_EQ(line.Unit(7).highestSequence, 6) << "unit 2 did not take its commands";
  EXPECT_EQ(line.Unit(7).stored[4], (std::array<int, 4>{4, 255, 0xA3, 0x57}));
}

INSTANTIATE_TEST_SUITE_P(Lines, EchoLine,
                         testing::Values(EchoCase{"PlainLineAuto", false, EchoMode::kAuto},
                                         EchoCase{"PlainLineOff", false, EchoMode::kOff},
                                         EchoCase{"EchoingLineAuto", true, EchoMode::kAuto},
                                         EchoCase{"EchoingLineOn", true, EchoMode::kOn}),
                         RowName{});

TEST(EchoFault, AnEchoThatDiffersNeverComesOrIsNotExpectedIsALineFaultNotAnAnswer) {
  {
    MisbehavingLine far({0, 1, false, 0, kAnswer});
    CSerialLink link;
    Open(link, far.Path(), EchoMode::kAuto, 50);
    const CSerialLink::RowAnswer answer = link.ReadRowAnswer(1, 2);
    EXPECT_EQ(answer.channels, (std::array<uint8_t, 4>{11, 22, 33, 44})) << "an echo was taken as the answer";
    EXPECT_EQ(link.Echoes(), true);
  }
  {
    MisbehavingLine far({0, 1, false, 0, kAnswer, /*corrupt=*/2});
    CSerialLink link;
    Open(link, far.Path(), EchoMode::kOn, 50);
    link.WriteRow(0, 1, 2, 3, 4, 5);
    EXPECT_EQ(link.LastFrame(), Outcome::kEchoWrong);
    link.StoreOnUnit(0);
    EXPECT_EQ(link.LastFrame(), Outcome::kSent) << "the line is usable again after a bad echo";
  }
  {
    sim::SimLine line;  // a line without echo, told that it echoes
    ASSERT_TRUE(line.Start());
    CSerialLink link;
    Open(link, line.SlavePath(), EchoMode::kOn, 30);
    link.StoreOnUnit(0);
    EXPECT_EQ(link.LastFrame(), Outcome::kNoEcho);
    WriteRows(link, 0, {{0, {1, 2, 3, 4}}, {1, {1, 2, 3, 4}}});  // the last echo taken in the pause after a row
    EXPECT_EQ(link.LastFrame(), Outcome::kNoEcho);
    EXPECT_EQ(line.Unit(0).rows[1], (std::array<int, 4>{128, 128, 128, 128})) << "rows went on after a fault";
    EXPECT_NE(link_words::FrameWords(link.LastFrame()).find("the echo setting is wrong"), std::string::npos);
  }
  {
    sim::SimOptions options;  // an echoing line told that it does not echo
    options.echo = true;
    options.units = {0};
    sim::SimLine line(options);
    ASSERT_TRUE(line.Start());
    CSerialLink link;
    Open(link, line.SlavePath(), EchoMode::kOff, 30);
    for (int32_t unit : {0, 5}) {  // a unit there (echo and CH1 arrive), and none (the echo alone)
      EXPECT_EQ(link.ReadRowAnswer(unit, 2).arrived, 0) << "unit " << unit << ": the echo was read as its row";
      EXPECT_EQ(link.LastFrame(), Outcome::kEchoUnexpected);
    }
    EXPECT_TRUE(ScanUnits(link).empty()) << "the echo was taken for units answering";
    EXPECT_NE(link_words::FrameWords(link.LastFrame()).find("set its echo to on"), std::string::npos);
  }
}

// A converter that holds answers back 16 ms, like an FTDI adapter at its
// default: the protocol's 5 ms miss every answer; the wait the advice names
// takes them all.
TEST(AnswerWait, ALateLineAnswersWithinTheWaitTheAdviceNames) {
  sim::SimOptions options;
  options.latencyMs = 16;
  sim::SimLine line(options);
  ASSERT_TRUE(line.Start());
  line.SetUnitRow(0, 1, {1, 2, 3, 4});
  CSerialLink link([&](int32_t) { return line.SlavePath(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  EXPECT_EQ(link.ReadRowAnswer(0, 1).arrived, 0);
  link.SetLineOptions({EchoMode::kAuto, AnswerWaitForLatency(16), false});
  EXPECT_EQ(link.AnswerWaitMs(), 19);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(link.ReadRowAnswer(0, 1).channels, (std::array<uint8_t, 4>{1, 2, 3, 4}));
}

TEST(Rs485Mode, ADriverWithoutItIsNamedAndTheLineUsedAsItIs) {
  sim::SimLine line;
  ASSERT_TRUE(line.Start());
  CSerialLink link([&](int32_t) { return line.SlavePath(); });
  link.SetLineOptions({EchoMode::kAuto, 0, true});
  ASSERT_EQ(link.OpenPort(1, 9600), 1) << link.Reason();
  EXPECT_EQ(link_words::LineWords(link), "no RS-485 mode in this driver: used as it is");
  link.StoreOnUnit(1);
  EXPECT_EQ(link.LastFrame(), Outcome::kSent);
  EXPECT_TRUE(line.WaitForFrames(1, milliseconds(2000)));
}

}  // namespace
