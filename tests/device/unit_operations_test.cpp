// Whole-unit operations against the simulated unit line: rows in order with
// the pauses between them, answers handed back row by row, the units that
// answer, and every channel that differs from what was expected.
#include <gtest/gtest.h>

#include <chrono>

#include "device/unit_operations.h"
#include "sim/sim_line.h"

namespace {

using namespace unit_operations;
using std::chrono::milliseconds;

class UnitOperations : public ::testing::Test {
 protected:
  void Start(sim::SimOptions options = {}) {
    line = std::make_unique<sim::SimLine>(options);
    std::string error;
    ASSERT_TRUE(line->Start(&error)) << error;
    // A busy test machine may hold the simulator back a few ms; no answer
    // here is meant to be late.
    link.SetLineOptions({EchoMode::kAuto, 30, false});
    ASSERT_EQ(link.OpenPort(1, 9600), 1) << link.Reason();
  }

  std::unique_ptr<sim::SimLine> line;
  CSerialLink link{[this](int32_t) { return line->SlavePath(); }};
  std::vector<std::pair<int, int>> progress;
  RowProgress Record() {
    return [this](int done, int total) { progress.emplace_back(done, total); };
  }
};

TEST_F(UnitOperations, WriteRowsSendsEachRowWithItsPauseAndOneMoreAfterTheLast) {
  // The pauses between rows are held to on virtual time (RowPauses, in the
  // explorer's tests); here the rows reach a real line whole and in order.
  Start();
  WriteRows(link, 2, {{0, {1, 2, 3, 4}}, {5, {300, -1, 0, 255}}, {7, {9, 9, 9, 9}}}, Record());
  ASSERT_TRUE(line->WaitForFrames(3, milliseconds(2000)));
  const std::vector<sim::FrameRecord> frames = line->Frames();
  EXPECT_EQ(frames[1].bytes, (std::vector<uint8_t>{0xA2, 0x57, 0x05, 0x2C, 0xFF, 0x00, 0xFF}));
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
}

TEST_F(UnitOperations, ReadRowsHandsBackEachAnswerInOrderWithTwentyMillisecondsBetween) {
  Start();
  line->SetUnitRow(6, 2, {10, 20, 30, 40});
  line->SetUnitRow(6, 5, {50, 60, 70, 80});
  std::vector<int32_t> answeredRows;
  ReadHooks hooks;
  hooks.progress = Record();
  hooks.answered = [&](int32_t row, const CSerialLink::RowAnswer&) { answeredRows.push_back(row); };
  const auto answers = ReadRows(link, 6, {5, 2}, hooks);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].channels, (std::array<uint8_t, 4>{50, 60, 70, 80}));
  EXPECT_EQ(answers[1].channels, (std::array<uint8_t, 4>{10, 20, 30, 40}));
  EXPECT_TRUE(answers[0].Whole() && answers[1].Whole());
  EXPECT_EQ(answeredRows, (std::vector<int32_t>{5, 2}));
  ASSERT_EQ(line->Frames().size(), 2u);
  EXPECT_EQ(progress.back(), (std::pair<int, int>{2, 2}));
}

TEST_F(UnitOperations, ScanFindsOnlyTheUnitsThatAnswer) {
  sim::SimOptions options;
  options.units = {1, 4, 7};
  options.answerBytes = 1;  // an answer in part still means a unit is there
  Start(options);
  EXPECT_EQ(ScanUnits(link, Record()), (std::vector<int32_t>{1, 4, 7})) << link.Reason();
  EXPECT_EQ(progress.size(), 8u);
}

TEST_F(UnitOperations, VerifyListsDifferingAndUnansweredChannels) {
  sim::SimOptions options;
  options.answerBytes = 3;
  Start(options);
  line->SetUnitRow(3, 0, {1, 2, 3, 0});
  line->SetUnitRow(3, 1, {5, 9, 7, 0});
  const auto differences = VerifyRows(link, 3, {{0, {1, 2, 3, 4}}, {1, {5, 6, 7, 8}}});
  ASSERT_EQ(differences.size(), 3u);
  EXPECT_EQ(differences[0].row, 0);
  EXPECT_EQ(differences[0].channel, 4);
  EXPECT_FALSE(differences[0].found.has_value()) << "CH4 never arrived";
  EXPECT_EQ(differences[1].row, 1);
  EXPECT_EQ(differences[1].channel, 2);
  EXPECT_EQ(differences[1].expected, 6);
  EXPECT_EQ(differences[1].found, 9);
  EXPECT_EQ(differences[2].channel, 4);
  EXPECT_EQ(differences[2].unit, 3);
}

TEST_F(UnitOperations, ReadRowAnswerSaysTheFirstChannelThatDidNotArrive) {
  sim::SimOptions options;
  options.answerBytes = 2;
  Start(options);
  line->SetUnitRow(0, 4, {11, 12, 13, 14});
  const CSerialLink::RowAnswer answer = link.ReadRowAnswer(0, 4);
  EXPECT_EQ(answer.arrived, 2);
  EXPECT_EQ(answer.FirstMissing(), 3);
  EXPECT_EQ(answer.channels, (std::array<uint8_t, 4>{11, 12, 0, 0}));
}

}  // namespace
