// Frames sent through a real pseudo-terminal: each reaches the right unit,
// changes the right thing, and is logged in words.
#include <functional>
#include <thread>

#include "sim/unit_set.h"
#include "sim_line_fixture.h"

namespace simtest {
namespace {

using Row = std::array<int, 4>;
constexpr Row kFresh = {128, 128, 128, 128};

struct FrameCase {
  const char* name;
  std::vector<Bytes> frames;
  const char* lastText;
  std::function<void(const sim::SimLine&)> check;
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

const std::vector<FrameCase> kFrameCases = {
    {"WriteRowSetsOnlyThatRowOfThatUnit",
     {{0xA1, 0x57, 3, 0, 128, 255, 44}},
     "unit 1: write row 3 = 0 128 255 44",
     [](const sim::SimLine& l) {
       EXPECT_EQ(l.Unit(1).rows[3], (Row{0, 128, 255, 44}));
       EXPECT_EQ(l.Unit(1).rows[2], kFresh);
       EXPECT_EQ(l.Unit(0).rows[3], kFresh);
       EXPECT_EQ(l.Unit(1).stored[3], kFresh) << "writing must not store";
     }},
    {"AddressLikeValuesAreStoredAsValues",
     {{0xA2, 0x57, 0, 0xA0, 0xA7, 0xA3, 0x57}},
     "unit 2: write row 0 = 160 167 163 87",
     [](const sim::SimLine& l) { EXPECT_EQ(l.Unit(2).rows[0], (Row{160, 167, 163, 87})); }},
    {"StoreCopiesAllRowsToTheStoredCopy",
     {{0xA4, 0x57, 7, 1, 2, 3, 4}, {0xA4, 0x57, 0x53}},
     "unit 4: store rows",
     [](const sim::SimLine& l) {
       EXPECT_EQ(l.Unit(4).stored[7], (Row{1, 2, 3, 4}));
       EXPECT_EQ(l.Unit(4).stored[0], kFresh);
       EXPECT_EQ(l.Unit(3).stored[7], kFresh);
     }},
    {"RunSetsRunning", {{0xA3, 0x57, 0x52}}, "unit 3: run",
     [](const sim::SimLine& l) {
       EXPECT_TRUE(l.Unit(3).running);
       EXPECT_FALSE(l.Unit(2).running);
     }},
    {"StopAfterRunClearsRunning", {{0xA3, 0x57, 0x52}, {0xA3, 0x57, 0x54}}, "unit 3: stop",
     [](const sim::SimLine& l) { EXPECT_FALSE(l.Unit(3).running); }},
    {"HighestSequenceIsKept", {{0xA5, 0x57, 0x51, 5}}, "unit 5: set highest sequence 5",
     [](const sim::SimLine& l) { EXPECT_EQ(l.Unit(5).highestSequence, 5); }},
    {"HighestSequenceZeroIsKept", {{0xA5, 0x57, 0x51, 0}}, "unit 5: set highest sequence 0",
     [](const sim::SimLine& l) { EXPECT_EQ(l.Unit(5).highestSequence, 0); }},
    {"HighestSequenceAboveEightIsEight", {{0xA6, 0x57, 0x51, 200}},
     "unit 6: set highest sequence 200, taken as 8",
     [](const sim::SimLine& l) { EXPECT_EQ(l.Unit(6).highestSequence, 8); }},
    {"ReadRowIsLoggedWithItsAnswer", {{0xA7, 0x52, 6}}, "unit 7: read row 6 -> 128 128 128 128",
     [](const sim::SimLine&) {}},
};

class SimLineFrames : public SimLineTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(SimLineFrames, ActOnTheAddressedUnitAndLogInWords) {
  const FrameCase& c = GetParam();
  StartLine();
  SendFrames(c.frames);
  EXPECT_EQ(LastText(), c.lastText);
  EXPECT_EQ(line->Frames().back().bytes, c.frames.back());
  c.check(*line);
}

INSTANTIATE_TEST_SUITE_P(EachFrameType, SimLineFrames, ::testing::ValuesIn(kFrameCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimLineTest, ChangeAddressMovesTheUnitWithItsRows) {
  StartLine(Options([&](sim::SimOptions& o) { o.units = {0, 1}; }));
  SendFrames({{0xA0, 0x57, 1, 9, 8, 7, 6}, {0xA0, 0x57, 0x4A, 5}});
  EXPECT_EQ(LastText(), "unit 0: change address to 5");
  EXPECT_FALSE(line->HasUnit(0));
  ASSERT_TRUE(line->HasUnit(5));
  EXPECT_EQ(line->Unit(5).rows[1], (Row{9, 8, 7, 6}));

  SendFrames({{0xA0, 0x52, 1}});
  EXPECT_EQ(LastText(), "no unit at address 0, ignored: read row 1");
  EXPECT_TRUE(client->Read(4, milliseconds(150)).empty()) << "the old address must stay silent";

  SendFrames({{0xA5, 0x52, 1}});
  EXPECT_EQ(client->Read(4, kWait), (Bytes{9, 8, 7, 6}));
}

TEST_F(SimLineTest, ChangeAddressOutOfRangeOrTakenIsRefused) {
  StartLine(Options([&](sim::SimOptions& o) { o.units = {0, 1}; }));
  SendFrames({{0xA0, 0x57, 0x4A, 0x2C}});
  EXPECT_EQ(LastText(), "unit 0: change address to 44, refused: not an address 0-7; stays at 0");
  EXPECT_TRUE(line->HasUnit(0));
  SendFrames({{0xA0, 0x57, 0x4A, 1}});
  EXPECT_EQ(LastText(), "unit 0: change address to 1, refused: a unit already answers there; stays at 0");
  EXPECT_TRUE(line->HasUnit(0));
  EXPECT_TRUE(line->HasUnit(1));
}

TEST_F(SimLineTest, FramesToAnAbsentUnitChangeNothing) {
  StartLine(Options([&](sim::SimOptions& o) { o.units = {0, 2}; }));
  SendFrames({{0xA1, 0x57, 0, 1, 2, 3, 4}, {0xA1, 0x52, 0}});
  EXPECT_EQ(line->Frames()[0].text, "no unit at address 1, ignored: write row 0 = 1 2 3 4");
  EXPECT_FALSE(line->HasUnit(1));
  EXPECT_EQ(line->Unit(1).address, -1);
  EXPECT_TRUE(client->Read(1, milliseconds(150)).empty());
  EXPECT_EQ(line->Unit(0).rows[0], kFresh);
}

TEST_F(SimLineTest, NoiseAroundAndInsideFramesDoesNotWedgeAUnit) {
  StartLine();
  ASSERT_TRUE(client->Send({0x00, 0xFF, 0x57}));                  // before
  ASSERT_TRUE(client->Send({0xA1, 0x57, 0xA2, 0x57, 0x53}));      // cut short by an address
  ASSERT_TRUE(client->Send({0x13, 0xA0, 0x52, 0x09, 0x42}));      // bad row, then noise
  ASSERT_TRUE(client->Send({0xA3, 0x57, 2, 0xA4, 0xA5, 0xA6, 0xA7}));
  ASSERT_TRUE(line->WaitForFrames(2, kWait));
  const auto frames = line->Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].text, "unit 2: store rows");
  EXPECT_EQ(frames[1].text, "unit 3: write row 2 = 164 165 166 167");
  EXPECT_EQ(line->ReceivedBytes().size(), 20u) << "every byte is recorded, noise too";
}

TEST_F(SimLineTest, PauseInsideAFrameStartsOver) {
  StartLine();
  ASSERT_TRUE(client->Send({0xA0, 0x57, 0, 1, 2}));
  std::this_thread::sleep_for(milliseconds(120));
  // These two would finish the frame if the pause were ignored.
  ASSERT_TRUE(client->Send({3, 4}));
  std::this_thread::sleep_for(milliseconds(120));
  SendFrames({{0xA0, 0x57, 0x54}});
  ASSERT_EQ(line->Frames().size(), 1u);
  EXPECT_EQ(LastText(), "unit 0: stop");
  EXPECT_EQ(line->Unit(0).rows[0], kFresh);
}

TEST_F(SimLineTest, PacedBytesLikeTheProgramsMakeOneFrame) {
  StartLine();
  ASSERT_TRUE(client->SendPaced({0xA2, 0x57, 1, 10, 20, 30, 40}, milliseconds(3)));
  ASSERT_TRUE(line->WaitForFrames(1, kWait));
  EXPECT_EQ(line->Unit(2).rows[1], (Row{10, 20, 30, 40}));
  const auto received = line->Received();
  ASSERT_EQ(received.size(), 7u);
  // Six 3 ms pauses: each byte must carry its own arrival time, not the
  // time of a batch. A little slack for a late first read.
  EXPECT_GE(received.back().at - received.front().at, milliseconds(12));
}

TEST_F(SimLineTest, WithRecordsOffFramesAreStillCountedAndServed) {
  StartLine(Options([](sim::SimOptions& o) { o.keepRecords = false; }));
  SendFrames({{0xA1, 0x57, 0, 5, 6, 7, 8}, {0xA1, 0x52, 0}});
  EXPECT_EQ(client->Read(4, kWait), (Bytes{5, 6, 7, 8}));
  EXPECT_TRUE(line->Frames().empty());
  EXPECT_TRUE(line->Received().empty());
}

TEST(UnitSet, BytesThatAreNotOneWholeFrameChangeNothing) {
  sim::UnitSet units({0});
  const std::vector<Bytes> notFrames = {
      {}, {0xA0}, {0xA0, 0x57}, {0xA0, 0x57, 1, 2, 3}, {0xA0, 0x57, 0x4A}, {0xA0, 0x52, 1, 0}, {0x57, 0x57, 0x53}};
  for (const Bytes& bytes : notFrames) {
    const sim::FrameAction action = units.Apply(bytes, {});
    EXPECT_EQ(action.text.rfind("not a whole frame", 0), 0u) << action.text;
    EXPECT_TRUE(action.answer.empty());
  }
  EXPECT_EQ(units.Find(0)->rows[1], kFresh);
}

}  // namespace
}  // namespace simtest
