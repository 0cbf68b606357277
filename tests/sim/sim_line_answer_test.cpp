// How read-row frames are answered: the row's bytes, after a delay, only
// some of them, or none; and stray bytes sent on request.
#include <thread>

#include "sim_line_fixture.h"

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;

TEST_F(SimLineTest, ReadRowAnswersThatRowOfThatUnit) {
  StartLine();
  line->SetUnitRow(3, 5, {0, 255, 0xA3, 0x52});
  line->SetUnitRow(2, 5, {1, 1, 1, 1});
  SendFrames({{0xA3, 0x52, 5}});
  EXPECT_EQ(client->Read(8, milliseconds(300)), (Bytes{0, 255, 0xA3, 0x52}))
      << "exactly the four bytes of row 5 of unit 3";
  EXPECT_EQ(LastText(), "unit 3: read row 5 -> 0 255 163 82");
}

TEST_F(SimLineTest, AnswerDelayIsNeverShorterThanAsked) {
  StartLine(Options([&](sim::SimOptions& o) { o.answerDelayMs = 150; }));
  const auto sent = Clock::now();
  ASSERT_TRUE(client->Send({0xA1, 0x52, 0}));
  const Bytes answer = client->Read(4, kWait);
  const auto took = Clock::now() - sent;
  EXPECT_EQ(answer, (Bytes{128, 128, 128, 128}));
  EXPECT_GE(took, milliseconds(150));
  EXPECT_LT(took, milliseconds(2000));
  EXPECT_EQ(LastText(), "unit 1: read row 0 -> 128 128 128 128 after 150 ms");
}

TEST_F(SimLineTest, DelayedAnswerDoesNotHoldUpFramesBehindIt) {
  StartLine(Options([&](sim::SimOptions& o) { o.answerDelayMs = 300; }));
  ASSERT_TRUE(client->Send({0xA1, 0x52, 0, 0xA1, 0x52, 0}));
  ASSERT_TRUE(client->Send({0xA2, 0x57, 0x52}));
  EXPECT_EQ(client->Read(1, kWait).size(), 1u);
  const auto firstAnswer = Clock::now();
  const auto received = line->Received();
  ASSERT_EQ(received.size(), 9u) << "frames are taken while an answer waits";
  EXPECT_LT(received.back().at, firstAnswer);
  EXPECT_TRUE(line->Unit(2).running);
  EXPECT_EQ(client->Read(7, kWait).size(), 7u) << "both answers come in the end";
}

struct PartialCase {
  const char* name;
  int answerBytes;
  bool silent;
  Bytes expected;
  const char* text;
};

void PrintTo(const PartialCase& c, std::ostream* os) { *os << c.name; }

class SimLinePartialAnswer : public SimLineTest, public ::testing::WithParamInterface<PartialCase> {};

TEST_P(SimLinePartialAnswer, SendsOnlyTheConfiguredBytes) {
  const PartialCase& c = GetParam();
  StartLine(Options([&](sim::SimOptions& o) { o.answerBytes = c.answerBytes; o.silent = c.silent; }));
  line->SetUnitRow(0, 1, {1, 2, 3, 4});
  SendFrames({{0xA0, 0x52, 1}});
  EXPECT_EQ(client->Read(4, milliseconds(200)), c.expected);
  EXPECT_EQ(LastText(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SimLinePartialAnswer,
    ::testing::Values(PartialCase{"TwoBytes", 2, false, {1, 2}, "unit 0: read row 1 -> 1 2 (2 of 4 bytes)"},
                      PartialCase{"ZeroBytes", 0, false, {}, "unit 0: read row 1 -> no answer (0 of 4 bytes)"},
                      PartialCase{"Silent", 4, true, {}, "unit 0: read row 1 -> no answer (silent)"},
                      PartialCase{"MoreThanFourIsFour", 9, false, {1, 2, 3, 4},
                                  "unit 0: read row 1 -> 1 2 3 4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimLineTest, AnswerSettingsChangeWhileRunning) {
  StartLine();
  line->SetSilent(true);
  SendFrames({{0xA0, 0x52, 0}});
  EXPECT_TRUE(client->Read(1, milliseconds(150)).empty());
  line->SetSilent(false);
  line->SetAnswerBytes(3);
  SendFrames({{0xA0, 0x52, 0}});
  EXPECT_EQ(client->Read(4, milliseconds(200)).size(), 3u);
  line->SetAnswerBytes(4);
  line->SetAnswerDelay(100);
  const auto sent = Clock::now();
  SendFrames({{0xA0, 0x52, 0}});
  EXPECT_EQ(client->Read(4, kWait).size(), 4u);
  EXPECT_GE(Clock::now() - sent, milliseconds(100));
}

TEST_F(SimLineTest, StrayBytesReachTheClientBeforeTheNextAnswer) {
  StartLine();
  line->SendStray({0xEE});
  SendFrames({{0xA0, 0x52, 0}});
  EXPECT_EQ(client->Read(5, kWait), (Bytes{0xEE, 128, 128, 128, 128}));
  EXPECT_EQ(line->Frames().size(), 1u) << "stray bytes go out, they are not received";
}

TEST_F(SimLineTest, ClientThatKeepsTheLineSettingsGetsEveryByteUnchanged) {
  // Line ends, carriage returns and control bytes are plain values on this
  // line; nothing may translate or echo them on either side.
  StartLine({}, false);
  SendFrames({{0xA0, 0x57, 2, 10, 13, 3, 0x7F}, {0xA0, 0x52, 2}});
  EXPECT_EQ(line->Unit(0).rows[2], (std::array<int, 4>{10, 13, 3, 0x7F}));
  EXPECT_EQ(client->Read(5, milliseconds(300)), (Bytes{10, 13, 3, 0x7F}));
  EXPECT_EQ(line->ReceivedBytes().size(), 10u);
}

}  // namespace
}  // namespace simtest

namespace simtest {
namespace {

// An adapter's latency timer: nothing comes before it runs out, then the
// whole answer at once, and a byte that came meanwhile leaves with it.
// Early is judged by the simulator's own clock (when the frame's last byte
// came, from its records), and only by a look that ended before the timer ran
// out: a busy machine can make the test late, never the simulator early.
TEST_F(SimLineTest, LatencyHoldsTheAnswerBackAndReleasesItTogether) {
  StartLine(Options([&](sim::SimOptions& o) { o.latencyMs = 80; }));
  line->SetUnitRow(1, 0, {1, 2, 3, 4});
  SendFrames({{0xA1, 0x52, 0}});
  line->SendStray({0xEE});
  const Clock::time_point release = line->Received().back().at + milliseconds(80);
  Bytes got;
  while (got.empty() && Clock::now() < release) {
    got = client->Read(1, std::chrono::ceil<milliseconds>(release - Clock::now()));
    if (!got.empty()) {
      EXPECT_GE(Clock::now(), release) << "a byte left before the timer ran out";
    }
  }
  const Bytes rest = client->Read(5 - got.size(), kWait);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, (Bytes{1, 2, 3, 4, 0xEE})) << "the held bytes come together, the answer first";
}

}  // namespace
}  // namespace simtest
