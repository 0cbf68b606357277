// Reading a row back: what is stored, which "Error" boxes are asked for and
// in what order, and that no byte that is not this frame's answer is stored.
#include <unistd.h>

#include <gtest/gtest.h>

#include "device/serial_link.h"
#include "support/row_names.h"
#include "support/test_pty.h"

using testsupport::Clock;
using testsupport::TestPty;
using testsupport::WaitForInput;

namespace {

using std::chrono::milliseconds;
using testsupport::RowName;
using Row = std::vector<int32_t>;

class ReadRow : public ::testing::Test {
 protected:
  void SetUp() override {
    slave = pty.SlaveFd();
    // A busy test machine may delay the far end's answer by a few ms: the
    // answers here are late only where they are meant to be.
    link.SetLineOptions({EchoMode::kAuto, 30, false});
    ASSERT_EQ(link.OpenPort(1, 9600), 1);
    link.SetMissingAnswerHandler([this](int channel) { boxes.push_back(channel); });
  }

  Row Read(Row row) {
    link.ReadRow(0, 3, &row[0], &row[1], &row[2], &row[3]);
    return row;
  }

  // The unit answers as soon as the next frame is whole.
  void UnitAnswers(std::vector<uint8_t> answer) {
    pty.AnswerAfter(pty.Arrivals().size() + 3, std::move(answer));
  }

  TestPty pty;
  int slave = -1;
  CSerialLink link{[this](int32_t) { return pty.SlavePath(); }};
  std::vector<int> boxes;
};

const Row kUntouched = {-7, -7, -7, -7};

struct AnswerCase {
  const char* name;
  std::vector<uint8_t> answer;
  Row stored;
  std::vector<int> boxes;
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

const AnswerCase kAnswers[] = {
    {"whole answer, high bytes not sign-extended", {0x00, 0x80, 0xFF, 0x11}, {0, 128, 255, 17}, {}},
    {"unit answers two bytes", {5, 6}, {5, 6, -7, -7}, {3, 4}},
    {"unit answers nothing", {}, kUntouched, {1, 2, 3, 4}},
};

class ReadRowAnswer : public ReadRow, public testing::WithParamInterface<AnswerCase> {};

TEST_P(ReadRowAnswer, IsStoredZeroExtendedAndEachMissingByteIsReportedInOrder) {
  const AnswerCase& c = GetParam();
  if (!c.answer.empty()) UnitAnswers(c.answer);
  EXPECT_EQ(Read(kUntouched), c.stored);
  EXPECT_EQ(boxes, c.boxes);
}

INSTANTIATE_TEST_SUITE_P(Answers, ReadRowAnswer, testing::ValuesIn(kAnswers), RowName{});

TEST_F(ReadRow, ClosedLinkReportsAllFourAndStoresNothing) {
  EXPECT_EQ(link.ClosePort(), 1);
  EXPECT_EQ(link.ClosePort(), 1);
  EXPECT_EQ(Read(kUntouched), kUntouched);
  EXPECT_EQ(boxes, (std::vector<int>{1, 2, 3, 4}));
  usleep(20'000);
  EXPECT_TRUE(pty.Received().empty());
}

// A byte no unit sent, before the frame, after the answer, or completing
// an answer after its wait: the row is refused, never shifted, and the next
// read on a quiet line is whole again.
TEST_F(ReadRow, NoByteButTheUnitsTimelyAnswerIsTakenAsTheRow) {
  using Outcome = CSerialLink::FrameOutcome;
  pty.Write({0x99});
  ASSERT_EQ(WaitForInput(slave, 1), 1);
  EXPECT_EQ(Read(kUntouched), kUntouched);
  EXPECT_EQ(link.LastFrame(), Outcome::kStrayBytes);
  EXPECT_TRUE(pty.Received().empty()) << "a frame went out onto a line that was not quiet";

  UnitAnswers({1, 2, 3, 4, 5});
  EXPECT_EQ(Read(kUntouched), kUntouched);
  EXPECT_EQ(link.LastFrame(), Outcome::kStrayBytes);

  boxes.clear();
  UnitAnswers({6, 7, 8, 9});
  EXPECT_EQ(Read(kUntouched), (Row{6, 7, 8, 9}));
  EXPECT_EQ(link.LastFrame(), Outcome::kSent);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ReadRow, AnswerArrivingWhileABoxIsShownNeverMovesIntoLaterChannels) {
  UnitAnswers({10});
  link.SetMissingAnswerHandler([this](int channel) {
    boxes.push_back(channel);
    if (channel == 2) {
      // The rest of the answer arrives while the operator looks at "Error2".
      pty.Write({20, 30, 40});
      WaitForInput(slave, 3);
    }
  });
  EXPECT_EQ(Read(kUntouched), kUntouched) << "an answer completed after its wait was taken";
  EXPECT_EQ(link.LastFrame(), CSerialLink::FrameOutcome::kAnswerLate);
  EXPECT_EQ(boxes, (std::vector<int>{2, 3, 4}));

  // Nor does it become the first bytes of the next row's answer.
  boxes.clear();
  UnitAnswers({1, 2, 3, 4});
  EXPECT_EQ(Read(kUntouched), (Row{1, 2, 3, 4}));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ReadRow, TakesAtLeastItsPausesAndSendsTheWholeFrame) {
  UnitAnswers({1, 2, 3, 4});
  const auto start = Clock::now();
  Read(kUntouched);
  EXPECT_GE(Clock::now() - start, milliseconds(30));
  EXPECT_EQ(pty.Received(), (std::vector<uint8_t>{0xA0, 0x52, 0x03}));
}

}  // namespace
