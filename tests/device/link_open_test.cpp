// Opening the link: faults and their reasons, exclusive use, and the line
// settings as the tty reports them afterwards.
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "device/serial_link.h"
#include "support/files.h"
#include "support/row_names.h"
#include "support/temp_folder.h"
#include "support/test_pty.h"

using testsupport::OpenDescriptorCount;
using testsupport::TestPty;

namespace {

using testsupport::RowName;
using testsupport::TempFolder;
using testsupport::WriteFile;

CSerialLink LinkToPath(const std::string& path) {
  return CSerialLink([path](int32_t) { return path; });
}

int ExclusiveFlag(int fd) {
  int flag = -1;
  ioctl(fd, TIOCGEXCL, &flag);
  return flag;
}

struct OpenFailure {
  const char* name;
  std::string device;  // "missing" or "plain file" in the test's folder, "pty" (and more), or a path
  int32_t baud;
  CSerialLink::Fault fault;
  std::string reasonPart;  // "{path}" stands for the device's path
};
void PrintTo(const OpenFailure& c, std::ostream* os) { *os << c.name; }

const OpenFailure kOpenFailures[] = {
    {"missing device", "missing", 9600, CSerialLink::Fault::kNotFound, "open {path}: No such file or directory"},
    {"regular file", "plain file", 9600, CSerialLink::Fault::kNotSerial, "{path}"},
    {"character device that is no tty", "/dev/null", 9600, CSerialLink::Fault::kNotSerial, "/dev/null"},
    {"baud rate the tty has no code for", "pty", 12345, CSerialLink::Fault::kSetup, "12345"},
    // The system would open the pty the name stops at.
    {"path that goes on past a NUL byte", "pty, NUL, more", 9600, CSerialLink::Fault::kNotFound, "NUL byte"},
    // Not opened as a file ("no such device"): the scheme is named.
    {"scheme no kind of line has", "ssh://host:22", 9600, CSerialLink::Fault::kOther,
     "ssh:// is no kind of line here: write a device path, tcp://HOST:PORT or rfc2217://HOST:PORT"},
};

class LinkOpenFailure : public testing::TestWithParam<OpenFailure> {
 protected:
  std::string PathOf(const std::string& device) {
    if (device == "pty") return pty.SlavePath();
    if (device == "pty, NUL, more") return pty.SlavePath() + std::string(1, '\0') + "/../ttyUSB9";
    if (device == "missing") return folder.File("ttyUSB9");
    if (device == "plain file") {
      WriteFile(folder.File("plain"), "");
      return folder.File("plain");
    }
    return device;
  }

  TestPty pty;
  TempFolder folder;
};

TEST_P(LinkOpenFailure, ReportsWhyHoldsNothingAndCreatesNothing) {
  const OpenFailure& c = GetParam();
  const std::string path = PathOf(c.device);
  std::string reasonPart = c.reasonPart;
  if (const size_t at = reasonPart.find("{path}"); at != std::string::npos) reasonPart.replace(at, 6, path);
  const int slave = pty.SlaveFd();
  const std::vector<std::string> namesBefore = folder.Names();
  const int descriptorsBefore = OpenDescriptorCount();

  CSerialLink link = LinkToPath(path);
  EXPECT_EQ(link.OpenPort(1, c.baud), 0);
  EXPECT_EQ(link.IsPortOpen(), 0);
  EXPECT_EQ(link.LastFault(), c.fault);
  EXPECT_NE(link.Reason().find(reasonPart), std::string::npos) << link.Reason();
  EXPECT_EQ(link.DevicePath(), path);
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "a failed open leaked a descriptor";
  EXPECT_EQ(ExclusiveFlag(slave), 0) << "a failed open left the pty exclusive";
  EXPECT_EQ(folder.Names(), namesBefore) << "open created the device";
}

INSTANTIATE_TEST_SUITE_P(Devices, LinkOpenFailure, testing::ValuesIn(kOpenFailures), RowName{});

TEST(LinkOpen, OpensOnceThePortLeadsToADeviceAfterAFailedOpen) {
  TestPty pty;
  TempFolder folder;
  CSerialLink link = LinkToPath(folder.File("ttyUSB9"));
  EXPECT_EQ(link.OpenPort(1, 9600), 0);
  link.SetPortResolver([&](int32_t) { return pty.SlavePath(); });
  EXPECT_EQ(link.OpenPort(1, 9600), 1);
  EXPECT_EQ(link.LastFault(), CSerialLink::Fault::kNone);
  EXPECT_EQ(link.Reason(), "");
}

TEST(LinkOpen, WithoutResolverComNIsTtyUsbNMinusOne) {
  CSerialLink link;
  link.OpenPort(4, 9600);
  EXPECT_EQ(link.DevicePath(), "/dev/ttyUSB3");
}

TEST(LinkOpen, SecondOpenOfAHeldDeviceFailsEvenForRootAndLeavesTheHolderExclusive) {
  TestPty pty;
  const int slave = pty.SlaveFd();
  CSerialLink first = LinkToPath(pty.SlavePath());
  CSerialLink second = LinkToPath(pty.SlavePath());
  ASSERT_EQ(first.OpenPort(1, 9600), 1);
  EXPECT_EQ(ExclusiveFlag(slave), 1);

  const int descriptorsBefore = OpenDescriptorCount();
  EXPECT_EQ(second.OpenPort(1, 9600), 0);
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "the refused open leaked its descriptor";
  EXPECT_EQ(second.LastFault(), CSerialLink::Fault::kInUse);
  EXPECT_NE(second.Reason().find("in use by another program"), std::string::npos) << second.Reason();
  EXPECT_EQ(ExclusiveFlag(slave), 1) << "the failed open cleared the holder's exclusive flag";

  const uint8_t byte = 0x5A;
  EXPECT_EQ(first.SendBytes(&byte, 1), 1);
  ASSERT_TRUE(pty.WaitForBytes(1, std::chrono::milliseconds(2000)));

  EXPECT_EQ(first.ClosePort(), 1);
  EXPECT_EQ(ExclusiveFlag(slave), 0) << "closing left the pty exclusive; the next open would fail";
  EXPECT_EQ(second.OpenPort(1, 9600), 1);
}

TEST(LinkOpen, OpenOnAnOpenLinkChangesNothing) {
  TestPty pty;
  TestPty other;
  CSerialLink link = LinkToPath(pty.SlavePath());
  ASSERT_EQ(link.OpenPort(1, 9600), 1);
  link.SetPortResolver([&](int32_t) { return other.SlavePath(); });
  EXPECT_EQ(link.OpenPort(2, 19200), 1);
  EXPECT_EQ(link.DevicePath(), pty.SlavePath());
  termios line{};
  ASSERT_EQ(tcgetattr(pty.SlaveFd(), &line), 0);
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
}

// The pty starts cooked (echo, canonical, CR/NL mapping, XON/XOFF); each case
// adds settings the link must undo.
struct LineCase {
  const char* name;
  int32_t baud;
  speed_t speed;
  tcflag_t extraControl;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

const LineCase kLines[] = {
    {"9600, seven bits, even parity, two stop bits", 9600, B9600, CS7 | PARENB | CSTOPB},
    {"19200 with hardware flow control", 19200, B19200, CRTSCTS},
    {"115200, modem lines ignored", 115200, B115200, CLOCAL},
};

class LinkOpenLine : public testing::TestWithParam<LineCase> {};

TEST_P(LinkOpenLine, IsRaw8N1AtTheCallersRateWithFlowControlLeftAlone) {
  const LineCase& c = GetParam();
  TestPty pty;
  const int slave = pty.SlaveFd();
  termios before{};
  ASSERT_EQ(tcgetattr(slave, &before), 0);
  before.c_iflag |= IXON | IXOFF | ICRNL | INLCR | ISTRIP;
  before.c_cflag = (before.c_cflag & ~static_cast<tcflag_t>(CSIZE | CRTSCTS | CLOCAL)) | c.extraControl;
  if (!(c.extraControl & CSIZE)) before.c_cflag |= CS8;
  ASSERT_EQ(tcsetattr(slave, TCSANOW, &before), 0);

  CSerialLink link = LinkToPath(pty.SlavePath());
  ASSERT_EQ(link.OpenPort(1, c.baud), 1) << link.Reason();
  EXPECT_EQ(link.LatencyTimerMs(), -1) << "a pty has no adapter timer, and refusing low latency is no fault";
  termios line{};
  ASSERT_EQ(tcgetattr(slave, &line), 0);
  EXPECT_EQ(cfgetispeed(&line), c.speed);
  EXPECT_EQ(cfgetospeed(&line), c.speed);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_TRUE(line.c_cflag & CREAD);
  EXPECT_EQ(line.c_cflag & (CRTSCTS | CLOCAL), c.extraControl & (CRTSCTS | CLOCAL));
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK), 0u);
  EXPECT_TRUE(line.c_iflag & IGNBRK) << "a break would be read as a 0x00 answer byte";
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
  EXPECT_EQ(line.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_cc[VMIN], 0);
  EXPECT_EQ(line.c_cc[VTIME], 0);
}

INSTANTIATE_TEST_SUITE_P(Settings, LinkOpenLine, testing::ValuesIn(kLines), RowName{});

}  // namespace
