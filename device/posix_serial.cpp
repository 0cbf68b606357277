// CSerialLink on a Linux tty: opening it exclusively with raw 8N1 line
// settings, closing it, and the fault kept when either goes wrong. The byte
// transfers are in posix_transfer.cpp.
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "device/adapter_tuning.h"
#include "device/posix_error.h"
#include "device/serial_link.h"

using posix_error::ErrorText;

namespace {

struct BaudRate {
  int32_t rate;
  speed_t code;
};
constexpr BaudRate kBaudRates[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
    {921600, B921600},
};

bool SpeedCode(int32_t rate, speed_t* code) {
  for (const BaudRate& entry : kBaudRates) {
    if (entry.rate == rate) {
      *code = entry.code;
      return true;
    }
  }
  return false;
}

CSerialLink::Fault OpenFault(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return CSerialLink::Fault::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return CSerialLink::Fault::kPermission;
    case EBUSY:  // another program's TIOCEXCL
      return CSerialLink::Fault::kInUse;
    default:
      return CSerialLink::Fault::kOther;
  }
}

// Raw 8N1 at `speed`, built on what the device reported so that flow control
// and modem lines stay as they are. A break on the line is ignored: read as
// data it would be a 0x00 answer byte that the unit never sent.
termios RawLine(termios line, speed_t speed) {
  line.c_iflag &= ~static_cast<tcflag_t>(BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                         IGNCR | ICRNL | IUCLC | IXON | IXOFF | IXANY | IMAXBEL);
  line.c_iflag |= IGNBRK;
  line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  line.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
  line.c_cflag |= CS8 | CREAD;
  line.c_cc[VMIN] = 0;
  line.c_cc[VTIME] = 0;
  cfsetispeed(&line, speed);
  cfsetospeed(&line, speed);
  return line;
}

// tcsetattr succeeds when any part of the change took; this checks all of it.
bool LineIsRaw(const termios& line, speed_t speed) {
  const tcflag_t inputBits = BRKINT | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                             IXOFF | IXANY;
  const tcflag_t localBits = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
  return cfgetispeed(&line) == speed && cfgetospeed(&line) == speed && (line.c_iflag & inputBits) == 0 &&
         (line.c_iflag & IGNBRK) != 0 &&
         (line.c_oflag & OPOST) == 0 && (line.c_lflag & localBits) == 0 &&
         (line.c_cflag & (CSIZE | PARENB | CSTOPB | CREAD)) == (CS8 | CREAD) && line.c_cc[VMIN] == 0 &&
         line.c_cc[VTIME] == 0;
}

// The device numbers Linux gives /dev/tty (whatever terminal the opener
// runs in) and /dev/ptmx (the pseudo-terminal multiplexer, also /dev/pts/ptmx).
const dev_t kAnyControllingTerminal = makedev(5, 0);
const dev_t kPtyMultiplexer = makedev(5, 2);

// The terminal this process runs in, from /proc/self/stat; 0 when it has none.
dev_t ControllingTerminal() {
  FILE* stat = std::fopen("/proc/self/stat", "re");
  if (!stat) return 0;
  char text[1024] = {};
  const size_t length = std::fread(text, 1, sizeof text - 1, stat);
  std::fclose(stat);
  // The command name in parentheses may hold anything: count from its end.
  const char* close = std::strrchr(text, ')');
  unsigned long ttyNumber = 0;
  if (length == 0 || !close || std::sscanf(close + 1, " %*c %*d %*d %*d %lu", &ttyNumber) != 1) return 0;
  if (ttyNumber == 0) return 0;
  return makedev((ttyNumber >> 8) & 0xfff, (ttyNumber & 0xff) | ((ttyNumber >> 12) & 0xfff00));
}

// Why the device open on `fd` must not be taken for a unit line; empty when
// it may. Asked before anything is changed on it.
std::string WrongTerminal(const struct stat& info, const std::string& path) {
  if (info.st_rdev == kAnyControllingTerminal || (info.st_rdev != 0 && info.st_rdev == ControllingTerminal())) {
    return path + " is the terminal this program runs in, not a serial line";
  }
  if (info.st_rdev == kPtyMultiplexer) return path + " is the pseudo-terminal multiplexer, not a serial line";
  return {};
}

}  // namespace

struct CSerialLink::SavedLine {
  termios line{};
};

CSerialLink::CSerialLink() = default;

CSerialLink::CSerialLink(PortResolver resolver) : m_resolver(std::move(resolver)) {}

CSerialLink::~CSerialLink() {
  ClosePort();
  if (m_watch >= 0) close(m_watch);
}

void CSerialLink::SetPortResolver(PortResolver resolver) { m_resolver = std::move(resolver); }

void CSerialLink::SetMissingAnswerHandler(MissingAnswerHandler handler) {
  m_onMissingAnswer = std::move(handler);
}

void CSerialLink::SetFault(Fault fault, const std::string& what, int err) {
  m_fault = fault;
  m_groupToJoin.clear();
  m_reason = err != 0 ? what + ": " + ErrorText(err) : what;
}

void CSerialLink::Lose(const std::string& what, int err) {
  SetFault(Fault::kLost, what, err);
  CloseDevice();
}

void CSerialLink::CloseDevice() {
  if (m_hPort >= 0) {
    // Output that never left would make close() wait for it; it is stale now.
    // Only then: on a pseudo-terminal the flush would also take back bytes
    // that did leave but that the other side has not read yet.
    int queued = 0;
    if (ioctl(m_hPort, TIOCOUTQ, &queued) != 0 || queued > 0) tcflush(m_hPort, TCOFLUSH);
    // As terminal programs do, the line is left as it was found. A lost
    // device refuses this, and has no settings left to keep.
    if (m_savedLine) tcsetattr(m_hPort, TCSANOW, &m_savedLine->line);
    // A pty keeps the exclusive flag past close and would refuse the next
    // open. A lost device refuses this call and takes the flag with it.
    ioctl(m_hPort, TIOCNXCL);
    close(m_hPort);  // also drops the flock
  }
  m_hPort = -1;
  m_bIsOpen = 0;
  m_savedLine.reset();
  m_latencyTimerMs = -1;
}

int32_t CSerialLink::OpenPort(int32_t port, int32_t baud) {
  if (m_bIsOpen) return 1;

  if (m_resolver) {
    m_devicePath = m_resolver(port);
  } else {
    m_devicePath = port >= 1 ? "/dev/ttyUSB" + std::to_string(port - 1) : std::string();
  }
  const std::string& path = m_devicePath;
  if (path.empty()) {
    SetFault(Fault::kNotFound, "Com " + std::to_string(port) + ": no device is set for this port", 0);
    return 0;
  }

  // open() calls a socket "no such device"; it is there, only not a line.
  struct stat named {};
  if (stat(path.c_str(), &named) == 0 && S_ISSOCK(named.st_mode)) {
    SetFault(Fault::kOther, path + " is a socket, not a serial device", 0);
    return 0;
  }
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    const Fault fault = OpenFault(err);
    if (fault == Fault::kInUse) {
      SetFault(fault, "open " + path + ": in use by another program", 0);
    } else {
      SetFault(fault, "open " + path, err);
    }
    if (fault == Fault::kPermission) m_groupToJoin = ::GroupToJoin(path);
    return 0;
  }
  // Only a terminal device can be a line; and not every terminal is one.
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const int err = errno;
    close(fd);
    SetFault(Fault::kOther, "open " + path, err);
    return 0;
  }
  if (!S_ISCHR(info.st_mode) || !isatty(fd)) {
    close(fd);
    SetFault(Fault::kNotSerial, "open " + path + ": not a serial device", 0);
    return 0;
  }
  if (const std::string wrong = WrongTerminal(info, path); !wrong.empty()) {
    close(fd);
    SetFault(Fault::kOther, wrong, 0);
    return 0;
  }
  // TIOCEXCL does not stop root; an advisory lock does, for every program
  // that locks serial devices the same way (and for a second link here).
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    if (err == EWOULDBLOCK) {
      SetFault(Fault::kInUse, "open " + path + ": in use by another program", 0);
    } else {
      SetFault(Fault::kOther, "lock " + path, err);
    }
    return 0;
  }
  if (ioctl(fd, TIOCEXCL) != 0) {
    const int err = errno;
    close(fd);
    SetFault(err == ENOTTY ? Fault::kNotSerial : Fault::kSetup, "make " + path + " exclusive", err);
    return 0;
  }
  m_hPort = fd;  // from here on CloseDevice() undoes everything

  speed_t speed = 0;
  if (!SpeedCode(baud, &speed)) {
    CloseDevice();
    SetFault(Fault::kSetup, "set " + std::to_string(baud) + " baud on " + path, EINVAL);
    return 0;
  }
  termios line{};
  if (tcgetattr(fd, &line) != 0) {
    const int err = errno;
    CloseDevice();
    SetFault(err == ENOTTY ? Fault::kNotSerial : Fault::kSetup, "read line settings of " + path, err);
    return 0;
  }
  m_savedLine = std::make_unique<SavedLine>(SavedLine{line});
  const termios wanted = RawLine(line, speed);
  if (tcsetattr(fd, TCSANOW, &wanted) != 0) {
    const int err = errno;
    CloseDevice();
    SetFault(Fault::kSetup, "apply line settings to " + path, err);
    return 0;
  }
  termios applied{};
  if (tcgetattr(fd, &applied) != 0) {
    const int err = errno;
    CloseDevice();
    SetFault(Fault::kSetup, "read back line settings of " + path, err);
    return 0;
  }
  if (!LineIsRaw(applied, speed)) {
    CloseDevice();
    SetFault(Fault::kSetup, "apply line settings to " + path + ": the device did not take them all", 0);
    return 0;
  }
  // The kernel's tty buffers stand in for the input and output queue sizes;
  // Linux has no call to size them.

  // An adapter that holds answer bytes back makes every read-row miss its
  // answer window; ask for low latency and note what the adapter is left at.
  // A pty, or a driver without the setting, refuses; that is no fault.
  RequestLowLatency(fd);
  m_latencyTimerMs = AdapterLatencyTimerMs(TtyNameOf(path));

  WatchDevice();

  m_bIsOpen = 1;
  m_fault = Fault::kNone;
  m_reason.clear();
  m_groupToJoin.clear();
  return 1;
}

int32_t CSerialLink::ClosePort() {
  if (!m_bIsOpen || m_hPort < 0) return 1;
  CloseDevice();
  return 1;
}

// The device sits in an epoll set for its whole open life, so the set's one
// descriptor wakes a waiting caller on a hang-up. Edge-triggered: bytes that
// arrive wake it once and are left in the queue for the commands, so a caller
// waiting on it never spins. Without the set the link works all the same; only
// an idle hang-up is then noticed at the next command.
void CSerialLink::WatchDevice() {
  if (m_watch < 0) m_watch = epoll_create1(EPOLL_CLOEXEC);
  if (m_watch < 0) return;
  epoll_event interest{};
  interest.events = EPOLLIN | EPOLLET;  // hang-up and errors are always reported
  epoll_ctl(m_watch, EPOLL_CTL_ADD, m_hPort, &interest);
}

bool CSerialLink::CheckGone() {
  if (m_watch < 0) return false;
  epoll_event events[4];
  bool gone = false;
  for (;;) {
    const int n = epoll_wait(m_watch, events, 4, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (int i = 0; i < n; ++i) gone = gone || (events[i].events & (EPOLLHUP | EPOLLERR)) != 0;
  }
  if (!gone || !m_bIsOpen) return false;
  Lose("watch " + m_devicePath + ": the device hung up", 0);
  return true;
}
