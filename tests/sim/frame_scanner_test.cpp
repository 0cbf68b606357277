// The frame scanner alone, fed recorded bytes with chosen arrival times:
// frame lengths by type, resynchronisation over noise, and the pause rule.
#include "sim/frame_scanner.h"

#include <gtest/gtest.h>

#include "support/test_pty.h"

namespace simtest {

using std::chrono::milliseconds;
using testsupport::Bytes;

namespace {

// Bytes arriving together, `afterMs` after the previous chunk.
struct Chunk {
  int afterMs;
  Bytes bytes;
};

struct ScanCase {
  const char* name;
  std::vector<Chunk> input;
  std::vector<Bytes> frames;   // expected, in order
  std::vector<Bytes> skipped;  // expected skipped runs, in order
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

std::vector<sim::ByteRecord> Record(const std::vector<Chunk>& chunks) {
  std::vector<sim::ByteRecord> records;
  auto at = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  for (const Chunk& chunk : chunks) {
    at += milliseconds(chunk.afterMs);
    for (uint8_t b : chunk.bytes) records.push_back({at, b});
  }
  return records;
}

const std::vector<ScanCase> kCases = {
    {"WriteRowIsSevenBytes", {{0, {0xA1, 0x57, 3, 0, 128, 255, 44}}}, {{0xA1, 0x57, 3, 0, 128, 255, 44}}, {}},
    {"StoreRunStopAreThreeBytes",
     {{0, {0xA0, 0x57, 0x53, 0xA1, 0x57, 0x52, 0xA2, 0x57, 0x54}}},
     {{0xA0, 0x57, 0x53}, {0xA1, 0x57, 0x52}, {0xA2, 0x57, 0x54}},
     {}},
    {"ChangeAddressAndHighestSequenceAreFourBytes",
     {{0, {0xA0, 0x57, 0x4A, 5, 0xA0, 0x57, 0x51, 200}}},
     {{0xA0, 0x57, 0x4A, 5}, {0xA0, 0x57, 0x51, 200}},
     {}},
    {"ReadRowIsThreeBytes", {{0, {0xA7, 0x52, 7, 0xA7, 0x52, 0}}}, {{0xA7, 0x52, 7}, {0xA7, 0x52, 0}}, {}},
    {"AddressLikeValuesInsideWriteRowAreValues",
     {{0, {0xA0, 0x57, 0, 0xA0, 0xA7, 0xA3, 0x57}}},
     {{0xA0, 0x57, 0, 0xA0, 0xA7, 0xA3, 0x57}},
     {}},
    {"AddressLikeNewIdIsAValue", {{0, {0xA0, 0x57, 0x4A, 0xA5}}}, {{0xA0, 0x57, 0x4A, 0xA5}}, {}},
    {"NoiseBeforeAFrameIsSkipped",
     {{0, {0x00, 0x57, 0xFF, 0xA2, 0x57, 0x53}}},
     {{0xA2, 0x57, 0x53}},
     {{0x00, 0x57, 0xFF}}},
    {"AddressByteThatCannotContinueStartsTheNextFrame",
     {{0, {0xA0, 0x57, 0xA1, 0x57, 0x53}}},
     {{0xA1, 0x57, 0x53}},
     {{0xA0, 0x57}}},
    {"TwoAddressBytesInARowKeepTheSecond",
     {{0, {0xA0, 0xA1, 0x52, 2}}},
     {{0xA1, 0x52, 2}},
     {{0xA0}}},
    {"ReadRowOfRowEightIsNoFrame",
     {{0, {0xA0, 0x52, 8, 0xA0, 0x52, 1}}},
     {{0xA0, 0x52, 1}},
     {{0xA0, 0x52, 8}}},
    {"UnknownCommandLetterIsNoFrame",
     {{0, {0xA0, 0x57, 0x58, 0xA0, 0x57, 0x53}}},
     {{0xA0, 0x57, 0x53}},
     {{0xA0, 0x57, 0x58}}},
    {"PauseOverFiftyMsInsideAFrameStartsOver",
     {{0, {0xA0, 0x57, 0, 1, 2}}, {51, {3, 4}}, {0, {0xA1, 0x57, 0x53}}},
     {{0xA1, 0x57, 0x53}},
     {{0xA0, 0x57, 0, 1, 2}, {3, 4}}},
    {"PauseOfExactlyFiftyMsDoesNotBreakAFrame",
     {{0, {0xA0, 0x57}}, {50, {0x53}}},
     {{0xA0, 0x57, 0x53}},
     {}},
    {"PacedBytesWithLongPausesBetweenFramesAllCount",
     {{0, {0xA0}}, {3, {0x57}}, {3, {0x53}}, {1000, {0xA0}}, {3, {0x57}}, {3, {0x52}}},
     {{0xA0, 0x57, 0x53}, {0xA0, 0x57, 0x52}},
     {}},
    {"UnfinishedFrameAtTheEndIsNoFrame", {{0, {0xA3, 0x57, 2, 9}}}, {}, {{0xA3, 0x57, 2, 9}}},
};

class FrameScannerTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(FrameScannerTable, FindsExactlyTheWholeFrames) {
  const ScanCase& c = GetParam();
  std::vector<Bytes> frames, skipped;
  for (const sim::ScanEvent& e : sim::ScanBytes(Record(c.input))) {
    (e.kind == sim::ScanEvent::Kind::Frame ? frames : skipped).push_back(e.bytes);
  }
  EXPECT_EQ(frames, c.frames);
  EXPECT_EQ(skipped, c.skipped);
}

INSTANTIATE_TEST_SUITE_P(Frames, FrameScannerTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameScanner, IdleDropsAStalePartialFrameOnlyAfterTheGap) {
  sim::FrameScanner scanner;
  std::vector<sim::ScanEvent> events;
  const auto t0 = std::chrono::steady_clock::now();
  scanner.Feed(0xA0, t0, &events);
  scanner.Feed(0x57, t0, &events);
  ASSERT_TRUE(scanner.NextDeadline().has_value());
  EXPECT_GT(*scanner.NextDeadline(), t0 + sim::frame::kMaxGap);

  scanner.Idle(t0 + milliseconds(50), &events);
  EXPECT_TRUE(events.empty()) << "a frame may still go on after exactly 50 ms";
  scanner.Feed(0x53, t0 + milliseconds(50), &events);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, sim::ScanEvent::Kind::Frame);

  events.clear();
  const auto t1 = t0 + milliseconds(100);
  scanner.Feed(0xA0, t1, &events);
  scanner.Idle(t1 + milliseconds(51), &events);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, sim::ScanEvent::Kind::Skipped);
  EXPECT_FALSE(scanner.NextDeadline().has_value()) << "nothing left to time out";
}

TEST(FrameScanner, SkippedNoiseIsStampedWithItsOwnLastByteNotTheFrameAfterIt) {
  sim::FrameScanner scanner;
  std::vector<sim::ScanEvent> events;
  const auto t0 = std::chrono::steady_clock::now();
  scanner.Feed(0x13, t0, &events);
  for (uint8_t byte : {0xA0, 0x57, 0x52}) scanner.Feed(byte, t0 + milliseconds(20), &events);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, sim::ScanEvent::Kind::Skipped);
  EXPECT_EQ(events[0].at, t0);
  EXPECT_EQ(events[1].at, t0 + milliseconds(20));
}

TEST(FrameScanner, RandomNoiseNeverHidesTheFrameThatFollowsAPause) {
  // Whatever state noise leaves the scanner in, a pause and a whole frame
  // must always give that frame: a unit never wedges.
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 500; ++round) {
    Bytes noise(next() % 12);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(next() >> 24);
    const Bytes frame = {static_cast<uint8_t>(0xA0 | (next() % 8)), 0x57, 0x51, 3};
    const auto events = sim::ScanBytes(Record({{0, noise}, {60, frame}}));
    ASSERT_FALSE(events.empty());
    const sim::ScanEvent& last = events.back();
    EXPECT_EQ(last.kind, sim::ScanEvent::Kind::Frame) << "round " << round;
    EXPECT_EQ(last.bytes, frame) << "round " << round;
  }
}

// Ten seconds of zero bytes once grew the simulator by half a gigabyte and
// made one log line of 400 MB: only a count and the first bytes are kept.
TEST(FrameScanner, EndlessNoiseKeepsACountAndItsFirstBytesOnly) {
  sim::FrameScanner scanner;
  std::vector<sim::ScanEvent> events;
  const auto at = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  constexpr size_t kNoise = 2'000'000;
  for (size_t i = 0; i < kNoise; ++i) scanner.Feed(static_cast<uint8_t>(i % 0xA0), at, &events);
  EXPECT_TRUE(events.empty());
  const Bytes frame = {0xA1, 0x57, 0x53};
  for (uint8_t b : frame) scanner.Feed(b, at, &events);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, sim::ScanEvent::Kind::Skipped);
  EXPECT_EQ(events[0].count, kNoise);
  ASSERT_EQ(events[0].bytes.size(), sim::ScanEvent::kKeptNoise);
  EXPECT_EQ(events[0].bytes[5], 5);
  EXPECT_EQ(events[1].bytes, frame);
}

}  // namespace
}  // namespace simtest
