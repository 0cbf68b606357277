// Devices that are not a unit line, the line as Dimlet leaves it, and a line
// that stops taking bytes in the middle of a frame.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <filesystem>

#include <gtest/gtest.h>

#include "device/serial_link.h"
#include "support/test_pty.h"

using testsupport::Clock;
using testsupport::TestPty;

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

CSerialLink LinkTo(const std::string& path) {
  return CSerialLink([path](int32_t) { return path; });
}

struct WrongDevice {
  const char* name;
  std::string path;
  CSerialLink::Fault fault;
  std::string reasonPart;
};

TEST(LinkHostile, DevicesThatAreNoLineAreRefusedInTheirOwnWords) {
  const fs::path dir = fs::temp_directory_path() / ("dimlet-wrong-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string socketPath = (dir / "sock").string();
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  std::vector<WrongDevice> cases = {
      {"random numbers", "/dev/urandom", CSerialLink::Fault::kNotSerial, "not a serial device"},
      {"unix socket", socketPath, CSerialLink::Fault::kOther, "is a socket, not a serial device"},
      {"pty multiplexer", "/dev/ptmx", CSerialLink::Fault::kOther, "pseudo-terminal multiplexer"},
  };
  // A loop device opens only where the user may; a block device is no line either way.
  for (const char* loop : {"/dev/loop0", "/dev/loop-control"}) {
    const int fd = open(loop, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      close(fd);
      cases.push_back({"loop device", loop, CSerialLink::Fault::kNotSerial, "not a serial device"});
    }
  }
  for (const WrongDevice& c : cases) {
    SCOPED_TRACE(c.name);
    CSerialLink link = LinkTo(c.path);
    EXPECT_EQ(link.OpenPort(1, 9600), 0);
    EXPECT_EQ(link.LastFault(), c.fault);
    EXPECT_NE(link.Reason().find(c.reasonPart), std::string::npos) << link.Reason();
  }
  close(listener);
  fs::remove_all(dir);
}

// The terminal a program runs in, by /dev/tty or by its own name: opening it
// would send frames into the operator's terminal and leave it raw. A child
// gets a pty as its controlling terminal and tries both.
TEST(LinkHostile, TheControllingTerminalIsRefusedAndLeftAsItWas) {
  TestPty pty;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setsid();
    const int terminal = open(pty.SlavePath().c_str(), O_RDWR);  // becomes the controlling terminal
    termios before{};
    if (terminal < 0 || tcgetattr(terminal, &before) != 0) _exit(10);
    for (const std::string& path : {std::string("/dev/tty"), pty.SlavePath()}) {
      CSerialLink link = LinkTo(path);
      if (link.OpenPort(1, 9600) != 0) _exit(12);
      if (link.Reason().find("terminal this program runs in") == std::string::npos) _exit(11);
    }
    termios after{};
    if (tcgetattr(terminal, &after) != 0 || after.c_lflag != before.c_lflag || after.c_iflag != before.c_iflag) {
      _exit(13);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no terminal, 11: wrong words, 12: opened, 13: settings changed";
  EXPECT_TRUE(pty.Received().empty()) << "bytes went to the terminal";
}

TEST(LinkHostile, ClosingPutsBackTheLineSettingsTheDeviceHad) {
  TestPty pty;
  const int slave = pty.SlaveFd();
  termios cooked{};
  ASSERT_EQ(tcgetattr(slave, &cooked), 0);
  cooked.c_lflag |= ICANON | ECHO | ISIG;
  cooked.c_iflag |= ICRNL | IXON;
  cooked.c_oflag |= OPOST;
  cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB;
  cfsetispeed(&cooked, B38400);
  cfsetospeed(&cooked, B38400);
  ASSERT_EQ(tcsetattr(slave, TCSANOW, &cooked), 0);
  ASSERT_EQ(tcgetattr(slave, &cooked), 0);

  CSerialLink link = LinkTo(pty.SlavePath());
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  termios raw{};
  ASSERT_EQ(tcgetattr(slave, &raw), 0);
  EXPECT_EQ(raw.c_lflag & ICANON, 0u);
  link.ClosePort();

  termios after{};
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_iflag, cooked.c_iflag);
  EXPECT_EQ(after.c_oflag, cooked.c_oflag);
  EXPECT_EQ(after.c_cflag, cooked.c_cflag);
  EXPECT_EQ(after.c_lflag, cooked.c_lflag);
  EXPECT_EQ(cfgetospeed(&after), B38400);
  EXPECT_EQ(std::memcmp(after.c_cc, cooked.c_cc, sizeof after.c_cc), 0);
}

// The line is full, so the frame's first byte cannot leave within its bound
// and is discarded. Had the rest gone out, a unit would have read the channel
// value 0xA3 as the address of unit 3 and taken what follows as its command.
TEST(LinkHostile, OnceAByteOfAFrameStallsNoLaterByteOfItReachesTheLine) {
  TestPty pty(/*record=*/false);
  const int filler = pty.SlaveFd();
  CSerialLink link = LinkTo(pty.SlavePath());
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  // The pty moves bytes on to the master side behind the writer's back: fill
  // until a pause makes no more room.
  const uint8_t fill = 0x55;
  for (int written = 1; written > 0; std::this_thread::sleep_for(milliseconds(50))) {
    for (written = 0; write(filler, &fill, 1) == 1; ++written) {
    }
  }

  const auto start = Clock::now();
  link.WriteRow(0, 2, 0xA3, 0x57, 0x53, 0x00);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, milliseconds(1000 + 18)) << "the pauses of the frame were not all taken";
  EXPECT_LT(took, milliseconds(1990)) << "later bytes of the frame waited their bound too";
  EXPECT_EQ(link.LastFrame(), CSerialLink::FrameOutcome::kHeld) << "a frame that never left counted as sent";

  pty.StartRecording();
  link.StoreOnUnit(1);
  // Filler bytes that were on their way before the flush may come first.
  std::vector<uint8_t> got;
  for (const auto until = Clock::now() + milliseconds(2000); got.size() < 3 && Clock::now() < until;) {
    std::this_thread::sleep_for(milliseconds(20));
    got = pty.Received();
    got.erase(std::remove(got.begin(), got.end(), fill), got.end());
  }
  // The stalled byte itself (0xA0) may have left before the flush; nothing after it may.
  if (!got.empty() && got.front() == 0xA0) got.erase(got.begin());
  EXPECT_EQ(got, (std::vector<uint8_t>{0xA1, 0x57, 0x53})) << "bytes of the stalled frame reached the line";
  EXPECT_EQ(link.LastFrame(), CSerialLink::FrameOutcome::kSent);
}

}  // namespace
