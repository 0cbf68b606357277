// The device going away while the link is open (USB adapter pulled; here the
// pty master closed): the link notices, closes itself, keeps the reason, never
// hangs past its bounds, and opens again once the device is back.
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "device/serial_link.h"
#include "support/row_names.h"
#include "support/temp_folder.h"
#include "support/test_pty.h"

using testsupport::Clock;
using testsupport::OpenDescriptorCount;
using testsupport::TestPty;

namespace {

using std::chrono::milliseconds;
using testsupport::RowName;
using testsupport::TempFolder;

void ExpectLost(const CSerialLink& link, const std::string& path) {
  EXPECT_EQ(link.IsPortOpen(), 0);
  EXPECT_EQ(link.LastFault(), CSerialLink::Fault::kLost);
  EXPECT_NE(link.Reason().find(path), std::string::npos) << link.Reason();
}

struct LossCase {
  const char* name;
  std::function<void(CSerialLink&)> call;
};
void PrintTo(const LossCase& c, std::ostream* os) { *os << c.name; }

const LossCase kLossCalls[] = {
    {"read", [](CSerialLink& link) { uint8_t b; EXPECT_EQ(link.ReadWaiting(&b, 1), 0); }},
    {"write", [](CSerialLink& link) { const uint8_t b = 1; EXPECT_EQ(link.SendBytes(&b, 1), 1); }},
    {"discard", [](CSerialLink& link) { link.DiscardWaiting(); }},
    {"command", [](CSerialLink& link) { link.StoreOnUnit(0); }},
};

class LinkLossNoticedBy : public testing::TestWithParam<LossCase> {};

TEST_P(LinkLossNoticedBy, TheFirstCallAfterTheDeviceWentAwayAndLaterCallsActClosed) {
  TestPty pty;
  CSerialLink link([&](int32_t) { return pty.SlavePath(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  pty.CloseMaster();
  const auto start = Clock::now();
  GetParam().call(link);
  ExpectLost(link, pty.SlavePath());
  const uint8_t b = 2;
  EXPECT_EQ(link.SendBytes(&b, 1), 0);
  uint8_t got;
  EXPECT_EQ(link.ReadWaiting(&got, 1), 0);
  EXPECT_EQ(link.ClosePort(), 1);
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
}

INSTANTIATE_TEST_SUITE_P(Calls, LinkLossNoticedBy, testing::ValuesIn(kLossCalls), RowName{});

TEST(LinkLoss, DeviceGoneWhileACommandWaitsForItsByteEndsTheCommandWithinItsBounds) {
  TestPty pty(/*record=*/false);
  const int filler = pty.SlaveFd();
  CSerialLink link([&](int32_t) { return pty.SlavePath(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  // A full line holds the command at its first byte, so the loss surely
  // comes in the middle of it.
  const uint8_t fill = 0;
  while (write(filler, &fill, 1) == 1) {
  }
  const auto start = Clock::now();
  std::thread command([&] { link.WriteRow(1, 2, 10, 20, 30, 40); });
  usleep(100'000);
  pty.CloseMaster();
  command.join();
  // Unnoticed, each of the seven bytes would wait out its 1000 ms bound.
  EXPECT_LT(Clock::now() - start, milliseconds(2000));
  ExpectLost(link, pty.SlavePath());
}

TEST(LinkLoss, DeviceGoneDuringARowReadStoresWhatCameAndReportsTheRest) {
  TestPty pty;
  CSerialLink link([&](int32_t) { return pty.SlavePath(); });
  link.SetLineOptions({EchoMode::kAuto, 30, false});  // the byte is not meant to be late
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  std::vector<int> missing;
  // The unit answers one byte; the device goes while the first box is shown.
  link.SetMissingAnswerHandler([&](int channel) {
    if (missing.empty()) pty.CloseMaster();
    missing.push_back(channel);
  });
  pty.AnswerAfter(3, {77});
  int32_t ch[4] = {-1, -1, -1, -1};
  link.ReadRow(0, 0, &ch[0], &ch[1], &ch[2], &ch[3]);
  EXPECT_EQ(ch[0], 77);
  EXPECT_EQ(ch[1], -1);
  EXPECT_EQ(missing, (std::vector<int>{2, 3, 4}));
  ExpectLost(link, pty.SlavePath());
}

// While echo and answer are still told apart (the first read after
// opening), and while a late echo is waited for.
TEST(LinkLoss, DeviceGoneWhileTheLinkWatchesForALateByteEndsTheReadAsLost) {
  for (const EchoMode echo : {EchoMode::kAuto, EchoMode::kOn}) {
    TestPty pty;
    CSerialLink link([&](int32_t) { return pty.SlavePath(); });
    link.SetLineOptions({echo, 0, false});
    ASSERT_EQ(link.OpenPort(1, 9600), 1);
    std::thread unplug([&] {
      if (pty.WaitForBytes(3, milliseconds(2000))) std::this_thread::sleep_for(milliseconds(10));
      pty.CloseMaster();
    });
    EXPECT_EQ(link.ReadRowAnswer(0, 0).arrived, 0);
    unplug.join();
    EXPECT_EQ(link.LastFrame(), CSerialLink::FrameOutcome::kLost);
    ExpectLost(link, pty.SlavePath());
  }
}

TEST(LinkLoss, OpensAgainWhenTheDeviceIsBackAtTheSamePath) {
  namespace fs = std::filesystem;
  TempFolder folder;
  const fs::path path = folder.File("ttyUSB0");
  auto first = std::make_unique<TestPty>();
  fs::create_symlink(first->SlavePath(), path);
  CSerialLink link([&](int32_t) { return path.string(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  first->CloseMaster();
  uint8_t byte;
  link.ReadWaiting(&byte, 1);
  ExpectLost(link, path.string());
  EXPECT_EQ(link.OpenPort(1, 9600), 0) << "opened a device that is gone";

  TestPty second;
  fs::remove(path);
  fs::create_symlink(second.SlavePath(), path);
  first.reset();
  ASSERT_EQ(link.OpenPort(1, 9600), 1) << link.Reason();
  EXPECT_EQ(link.LastFault(), CSerialLink::Fault::kNone);
  link.StoreOnUnit(2);
  ASSERT_TRUE(second.WaitForBytes(3, milliseconds(2000)));
  EXPECT_EQ(second.Received(), (std::vector<uint8_t>{0xA2, 0x57, 0x53}));
}

}  // namespace

namespace {

bool Readable(int fd, int timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, timeoutMs) > 0;
}

// The watch descriptor lets a waiting window notice an unplugged device while
// no command runs, without polling: input wakes it once and stays queued for
// the commands, a hang-up closes the link, and the descriptor outlives reopens.
TEST(LinkLoss, IdleHangUpWakesTheWatchAndInputNeitherSpinsNorIsTaken) {
  TestPty pty;
  CSerialLink link([&](int32_t) { return pty.SlavePath(); });
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  const int watch = link.WatchDescriptor();
  ASSERT_GE(watch, 0);
  EXPECT_FALSE(Readable(watch, 50)) << "an idle line must not wake anyone";

  ASSERT_TRUE(pty.Write({0x11, 0x22}));
  EXPECT_TRUE(Readable(watch, 2000));
  EXPECT_FALSE(link.CheckGone());
  EXPECT_FALSE(Readable(watch, 50)) << "queued input woke the watch again: a waiting window would spin";
  uint8_t bytes[2] = {};
  EXPECT_EQ(link.ReadWaiting(bytes, 2), 2) << "the watch took bytes meant for the commands";
  EXPECT_EQ(bytes[1], 0x22);

  pty.CloseMaster();
  EXPECT_TRUE(Readable(watch, 2000)) << "the hang-up did not wake the watch";
  EXPECT_TRUE(link.CheckGone());
  ExpectLost(link, pty.SlavePath());
  EXPECT_NE(link.Reason().find("hung up"), std::string::npos) << link.Reason();

  TestPty again;
  link.SetPortResolver([&](int32_t) { return again.SlavePath(); });
  const int descriptors = OpenDescriptorCount();
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  EXPECT_EQ(link.WatchDescriptor(), watch) << "a window would have to follow a new descriptor";
  EXPECT_EQ(OpenDescriptorCount(), descriptors + 1) << "only the device itself is new";
  again.CloseMaster();
  EXPECT_TRUE(Readable(watch, 2000));
  EXPECT_TRUE(link.CheckGone());
}

}  // namespace
