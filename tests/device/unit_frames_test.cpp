// The bytes each unit command puts on the wire and the pauses between them,
// as the receiving end sees them; and the same commands on a closed link.
#include <unistd.h>

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "device/serial_link.h"
#include "device/unit_commands.h"
#include "sim/sim_line.h"
#include "support/row_names.h"
#include "support/test_pty.h"

using testsupport::Arrival;
using testsupport::Clock;
using testsupport::TestPty;

namespace {

using std::chrono::milliseconds;
using testsupport::RowName;
using Bytes = std::vector<uint8_t>;

struct FrameCase {
  const char* name;
  std::function<void(CSerialLink&)> send;
  Bytes wire;
  int pauseMs;  // between two bytes
};
void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

void ReadRowInto(CSerialLink& link, int32_t unit, int32_t row) {
  int32_t ch[4] = {};
  link.ReadRow(unit, row, &ch[0], &ch[1], &ch[2], &ch[3]);
}

const std::vector<FrameCase>& Frames() {
  static const std::vector<FrameCase> frames = {
      {"write row: unit 1 row 2, 300 goes out as its low byte",
       [](CSerialLink& l) { l.WriteRow(1, 2, 0, 128, 255, 300); },
       {0xA1, 0x57, 0x02, 0x00, 0x80, 0xFF, 0x2C}, 3},
      {"write row: negative and flow-control values as bytes",
       [](CSerialLink& l) { l.WriteRow(3, 7, -1, 256, 0x11, 0x13); },
       {0xA3, 0x57, 0x07, 0xFF, 0x00, 0x11, 0x13}, 3},
      {"read row", [](CSerialLink& l) { ReadRowInto(l, 5, 4); }, {0xA5, 0x52, 0x04}, 5},
      {"store", [](CSerialLink& l) { l.StoreOnUnit(0); }, {0xA0, 0x57, 0x53}, 3},
      {"run with flag 5", [](CSerialLink& l) { l.SetRunState(0, 5); }, {0xA0, 0x57, 0x52}, 3},
      {"run flag 256 is non-zero in all 32 bits", [](CSerialLink& l) { l.SetRunState(7, 256); },
       {0xA7, 0x57, 0x52}, 3},
      {"stop", [](CSerialLink& l) { l.SetRunState(0, 0); }, {0xA0, 0x57, 0x54}, 3},
      {"change address to 5", [](CSerialLink& l) { l.ChangeAddress(0, 5); }, {0xA0, 0x57, 0x4A, 0x05}, 3},
      {"change address to 300 sends its low byte, unmarked", [](CSerialLink& l) { l.ChangeAddress(2, 300); },
       {0xA2, 0x57, 0x4A, 0x2C}, 3},
      {"highest sequence 9 is limited to 8", [](CSerialLink& l) { l.SetHighestSequence(0, 9); },
       {0xA0, 0x57, 0x51, 0x08}, 3},
      {"highest sequence 200 is limited to 8", [](CSerialLink& l) { l.SetHighestSequence(0, 200); },
       {0xA0, 0x57, 0x51, 0x08}, 3},
      {"highest sequence 8", [](CSerialLink& l) { l.SetHighestSequence(1, 8); }, {0xA1, 0x57, 0x51, 0x08}, 3},
      {"highest sequence 0 has no lower limit", [](CSerialLink& l) { l.SetHighestSequence(0, 0); },
       {0xA0, 0x57, 0x51, 0x00}, 3},
      {"highest sequence 264 arrives as byte 8",
       [](CSerialLink& l) { l.SetHighestSequence(0, static_cast<uint8_t>(264)); }, {0xA0, 0x57, 0x51, 0x08}, 3},
      {"highest sequence 256 arrives as byte 0",
       [](CSerialLink& l) { l.SetHighestSequence(0, static_cast<uint8_t>(256)); }, {0xA0, 0x57, 0x51, 0x00}, 3},
  };
  return frames;
}

// Gaps between consecutive arrivals, in microseconds.
std::vector<long long> GapsUs(const std::vector<Arrival>& arrivals) {
  std::vector<long long> gaps;
  for (size_t i = 1; i < arrivals.size(); ++i) {
    gaps.push_back(std::chrono::duration_cast<std::chrono::microseconds>(arrivals[i].at - arrivals[i - 1].at).count());
  }
  return gaps;
}

// The frames as data, where the rules of the protocol live: low bytes, the
// run flag's 32 bits, the bare new address, the highest sequence's limit.
TEST(FrameBytes, BuildersFollowTheProtocolsRules) {
  using namespace unit_protocol;
  const auto bytes = [](const Frame& f) { return Bytes(f.Bytes().begin(), f.Bytes().end()); };
  EXPECT_EQ(bytes(WriteRowFrame(1, 2, 0, 128, 255, 300)), (Bytes{0xA1, 0x57, 0x02, 0x00, 0x80, 0xFF, 0x2C}));
  EXPECT_EQ(bytes(ReadRowFrame(5, 4)), (Bytes{0xA5, 0x52, 0x04}));
  EXPECT_EQ(bytes(RunStateFrame(7, 256)), (Bytes{0xA7, 0x57, 0x52}));
  EXPECT_EQ(bytes(ChangeAddressFrame(2, 300)), (Bytes{0xA2, 0x57, 0x4A, 0x2C}));
  EXPECT_EQ(bytes(HighestSequenceFrame(0, 200)), (Bytes{0xA0, 0x57, 0x51, 0x08}));
  EXPECT_EQ(ReadRowFrame(0, 0).pauseMs, kReadPauseMs);
  EXPECT_EQ(StoreFrame(0).pauseMs, kWritePauseMs);
}

class UnitFrames : public testing::TestWithParam<FrameCase> {};

TEST_P(UnitFrames, ExactBytesArriveWithAtLeastTheirPauseBetweenThem) {
  const FrameCase& c = GetParam();
  TestPty pty;
  CSerialLink link([&](int32_t) { return pty.SlavePath(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  // The pty hands bytes to the master on a kernel worker; on a busy machine
  // it runs late and two bytes seem to arrive close together. A short pause
  // shows at the same gap in every try, that noise at a different one each
  // time: so each gap counts at its longest over up to five tries.
  std::vector<long long> longest(c.wire.size() - 1, 0);
  for (int attempt = 0; attempt < 5; ++attempt) {
    pty.Clear();
    c.send(link);
    ASSERT_TRUE(pty.WaitForBytes(c.wire.size(), milliseconds(2000)));
    usleep(20'000);
    ASSERT_EQ(pty.Received(), c.wire);
    const std::vector<long long> gaps = GapsUs(pty.Arrivals());
    for (size_t i = 0; i < gaps.size(); ++i) longest[i] = std::max(longest[i], gaps[i]);
    if (*std::min_element(longest.begin(), longest.end()) >= c.pauseMs * 1000) break;
  }
  for (size_t i = 0; i < longest.size(); ++i) {
    EXPECT_GE(longest[i], c.pauseMs * 1000) << "bytes " << i << " and " << i + 1 << " came closer than the pause";
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, UnitFrames, testing::ValuesIn(Frames()), RowName{});

// The simulator reads the protocol on its own: a command of the table whose
// frame it does not know (or reads to another length) is skipped there, not
// recognised, and a unit would not take it either.
TEST(UnitCommandTable, TheSimulatorRecognisesEveryCommandsFrame) {
  sim::SimLine line;
  std::string error;
  ASSERT_TRUE(line.Start(&error)) << error;
  CSerialLink link([&line](int32_t) { return line.SlavePath(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1) << link.Reason();
  for (const unit_commands::UnitCommandRow& row : unit_commands::kUnitCommands) {
    SCOPED_TRACE(row.name);
    // Each value at the top of its range, the last a unit takes.
    std::vector<int32_t> values;
    for (const unit_commands::Argument& argument : row.Arguments()) values.push_back(argument.highest);
    const unit_protocol::Frame frame = row.frame(1, values);
    line.ClearRecords();
    link.SendBytes(frame.Bytes().data(), static_cast<int32_t>(frame.size));
    ASSERT_TRUE(line.WaitForFrames(1, milliseconds(2000))) << "the simulator did not recognise the frame";
    EXPECT_EQ(line.Frames()[0].bytes, Bytes(frame.Bytes().begin(), frame.Bytes().end()));
    link.DiscardWaiting();  // a read-row's answer
  }
}

struct FloorCase {
  const char* name;
  std::function<void(CSerialLink&)> send;
  int floorMs;  // the sum of the command's pauses
};
void PrintTo(const FloorCase& c, std::ostream* os) { *os << c.name; }

const FloorCase kFloors[] = {
    {"write row", [](CSerialLink& l) { l.WriteRow(0, 0, 1, 2, 3, 4); }, 18},
    {"read row", [](CSerialLink& l) { ReadRowInto(l, 0, 0); }, 30},
    {"store", [](CSerialLink& l) { l.StoreOnUnit(0); }, 6},
    {"run", [](CSerialLink& l) { l.SetRunState(0, 1); }, 6},
    {"change address", [](CSerialLink& l) { l.ChangeAddress(0, 1); }, 9},
    {"highest sequence", [](CSerialLink& l) { l.SetHighestSequence(0, 4); }, 9},
};

class UnitFramesOnAClosedLink : public testing::TestWithParam<FloorCase> {};

TEST_P(UnitFramesOnAClosedLink, NothingGoesOutButThePausesAreKept) {
  const FloorCase& c = GetParam();
  TestPty pty;
  CSerialLink link([&](int32_t) { return pty.SlavePath(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  link.ClosePort();
  const auto start = Clock::now();
  c.send(link);
  EXPECT_GE(Clock::now() - start, milliseconds(c.floorMs));
  usleep(20'000);
  EXPECT_TRUE(pty.Received().empty());
}

INSTANTIATE_TEST_SUITE_P(Commands, UnitFramesOnAClosedLink, testing::ValuesIn(kFloors), RowName{});

}  // namespace
