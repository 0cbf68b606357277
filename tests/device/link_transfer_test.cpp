// Moving bytes over an open link: nothing altered on the way, reads that
// never wait for bytes, and a write bounded when nobody takes the bytes.
#include <unistd.h>

#include <numeric>

#include <gtest/gtest.h>

#include "device/serial_link.h"
#include "support/test_pty.h"

using testsupport::Clock;
using testsupport::TestPty;
using testsupport::WaitForInput;

namespace {

using std::chrono::milliseconds;

class LinkTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    slave = pty.SlaveFd();  // before the link makes the tty exclusive
    ASSERT_EQ(link.OpenPort(1, 9600), 1) << link.Reason();
  }

  TestPty pty;
  int slave = -1;
  CSerialLink link{[this](int32_t) { return pty.SlavePath(); }};
};

std::vector<uint8_t> EveryByteValue() {
  std::vector<uint8_t> bytes(256);
  std::iota(bytes.begin(), bytes.end(), 0);  // 0x11/0x13 flow control, 0x0D/0x0A line ends, 0xFF among them
  return bytes;
}

TEST_F(LinkTransfer, EveryByteValueLeavesUnchanged) {
  const std::vector<uint8_t> bytes = EveryByteValue();
  EXPECT_EQ(link.SendBytes(bytes.data(), static_cast<int32_t>(bytes.size())), 256);
  ASSERT_TRUE(pty.WaitForBytes(256, milliseconds(3000)));
  EXPECT_EQ(pty.Received(), bytes);
}

TEST_F(LinkTransfer, EveryByteValueArrivesUnchanged) {
  const std::vector<uint8_t> bytes = EveryByteValue();
  pty.Write(bytes);
  ASSERT_EQ(WaitForInput(slave, 256), 256);
  std::vector<uint8_t> got(300);
  EXPECT_EQ(link.ReadWaiting(got.data(), 300), 256);
  got.resize(256);
  EXPECT_EQ(got, bytes);
  EXPECT_TRUE(pty.Received().empty()) << "the link echoed what it received";
}

TEST_F(LinkTransfer, ReadDeliversAtMostTheCountAskedAndKeepsTheRestInOrder) {
  pty.Write({0x01, 0x02, 0x03});
  ASSERT_EQ(WaitForInput(slave, 3), 3);
  for (uint8_t expected : {0x01, 0x02, 0x03}) {
    uint8_t byte = 0;
    EXPECT_EQ(link.ReadWaiting(&byte, 1), 1);
    EXPECT_EQ(byte, expected);
  }
}

TEST_F(LinkTransfer, ReadOfAnEmptyQueueReturnsAtOnce) {
  uint8_t byte = 0;
  const auto start = Clock::now();
  EXPECT_EQ(link.ReadWaiting(&byte, 1), 0);
  EXPECT_LT(Clock::now() - start, milliseconds(500));
  EXPECT_EQ(link.IsPortOpen(), 1);
}

TEST_F(LinkTransfer, NonPositiveCountsTransferNothing) {
  const uint8_t byte = 0x41;
  EXPECT_EQ(link.SendBytes(&byte, 0), 0);
  EXPECT_EQ(link.SendBytes(&byte, -1), 0);
  pty.Write({0x42});
  ASSERT_EQ(WaitForInput(slave, 1), 1);
  uint8_t got = 0;
  EXPECT_EQ(link.ReadWaiting(&got, 0), 0);
  EXPECT_EQ(link.ReadWaiting(&got, -5), 0);
  usleep(50'000);
  EXPECT_TRUE(pty.Received().empty());
  EXPECT_EQ(link.ReadWaiting(&got, 1), 1) << "a zero-count read consumed a byte";
}

TEST(LinkWriteBound, WriteNobodyTakesReturnsAfterItsBoundAndLeavesTheLineUsable) {
  TestPty pty(/*record=*/false);
  const int filler = pty.SlaveFd();
  CSerialLink link([&](int32_t) { return pty.SlavePath(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  const uint8_t fill = 0x55;
  while (write(filler, &fill, 1) == 1) {
  }

  const uint8_t bytes[] = {0xA0, 0x57};
  const auto start = Clock::now();
  EXPECT_EQ(link.SendBytes(bytes, 2), 2);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, milliseconds(1000)) << "gave up on a byte before its bound";
  EXPECT_LT(took, milliseconds(1900)) << "the second byte waited its full bound too: the line stayed full";
  EXPECT_EQ(link.IsPortOpen(), 1);
  EXPECT_EQ(link.LastFault(), CSerialLink::Fault::kNone);
}

}  // namespace
