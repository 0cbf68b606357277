// CSerialLink on a Linux tty: opening, line settings, the bounded byte
// transfers and noticing that the device has gone away.
//
// The device is opened non-blocking; every wait is a poll against a deadline on
// the monotonic clock, resumed with the time left after a signal.
#include "serial_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWriteBound = std::chrono::milliseconds(1000);
constexpr auto kReadBound = std::chrono::milliseconds(2000);
// How often the output queue is looked at while a written byte leaves; at
// 9600 baud one byte takes about a millisecond on the wire.
constexpr auto kDrainStep = std::chrono::milliseconds(1);
constexpr short kGone = POLLHUP | POLLERR | POLLNVAL;

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

// The errors by which a tty says it is no longer there (adapter pulled,
// other side of a pty closed).
bool MeansGone(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

std::string ErrorText(int err) {
  char buffer[256];
  // GNU strerror_r: returns the text, possibly not in buffer.
  return strerror_r(err, buffer, sizeof buffer);
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

// Waits for `events` (hang-up and errors are always reported) until
// `deadline`. Returns the poll result bits, 0 when the deadline passed, -1 with
// errno set when poll itself failed.
int WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    pollfd entry{fd, events, 0};
    const int ready = ppoll(&entry, 1, &timeout, nullptr);
    if (ready > 0) return entry.revents;
    if (ready == 0) {
      if (Clock::now() >= deadline) return 0;
      continue;  // woke a hair early: the deadline, not poll, decides
    }
    if (errno != EINTR) return -1;
  }
}

// Raw 8N1 at `speed`, built on what the device reported so that flow control
// and modem lines stay as they are.
termios RawLine(termios line, speed_t speed) {
  line.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                         IGNCR | ICRNL | IUCLC | IXON | IXOFF | IXANY | IMAXBEL);
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
  const tcflag_t inputBits = IGNBRK | BRKINT | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                             IXOFF | IXANY;
  const tcflag_t localBits = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
  return cfgetispeed(&line) == speed && cfgetospeed(&line) == speed && (line.c_iflag & inputBits) == 0 &&
         (line.c_oflag & OPOST) == 0 && (line.c_lflag & localBits) == 0 &&
         (line.c_cflag & (CSIZE | PARENB | CSTOPB | CREAD)) == (CS8 | CREAD) && line.c_cc[VMIN] == 0 &&
         line.c_cc[VTIME] == 0;
}

}  // namespace

CSerialLink::CSerialLink() = default;

CSerialLink::CSerialLink(PortResolver resolver) : m_resolver(std::move(resolver)) {}

CSerialLink::~CSerialLink() { ClosePort(); }

void CSerialLink::SetPortResolver(PortResolver resolver) { m_resolver = std::move(resolver); }

void CSerialLink::SetMissingAnswerHandler(MissingAnswerHandler handler) {
  m_onMissingAnswer = std::move(handler);
}

void CSerialLink::SetFault(Fault fault, const std::string& what, int err) {
  m_fault = fault;
  m_reason = err != 0 ? what + ": " + ErrorText(err) : what;
}

void CSerialLink::Lose(const std::string& what, int err) {
  SetFault(Fault::kLost, what, err);
  CloseDevice();
}

void CSerialLink::CloseDevice() {
  if (m_hPort >= 0) {
    // Output that never left would make close() wait for it; it is stale now.
    tcflush(m_hPort, TCOFLUSH);
    // A pty keeps the exclusive flag past close and would refuse the next
    // open. A lost device refuses this call and takes the flag with it.
    ioctl(m_hPort, TIOCNXCL);
    close(m_hPort);  // also drops the flock
  }
  m_hPort = -1;
  m_bIsOpen = 0;
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

  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    SetFault(OpenFault(err), "open " + path, err);
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

  m_bIsOpen = 1;
  m_fault = Fault::kNone;
  m_reason.clear();
  return 1;
}

int32_t CSerialLink::ClosePort() {
  if (!m_bIsOpen || m_hPort < 0) return 1;
  CloseDevice();
  return 1;
}

int32_t CSerialLink::WriteByte(uint8_t byte) {
  if (!m_bIsOpen || m_hPort < 0) return 1;
  const auto deadline = Clock::now() + kWriteBound;

  for (;;) {
    const ssize_t written = write(m_hPort, &byte, 1);
    if (written == 1) break;
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) {
      const int err = errno;
      if (MeansGone(err)) {
        Lose("write to " + m_devicePath, err);
      } else {
        m_reason = "write to " + m_devicePath + ": " + ErrorText(err);  // not reported, only kept
      }
      return 1;
    }
    const int ready = WaitFor(m_hPort, POLLOUT, deadline);
    if (ready < 0) {
      m_reason = "wait to write to " + m_devicePath + ": " + ErrorText(errno);
      return 1;
    }
    if (ready & kGone) {
      Lose("write to " + m_devicePath + ": the device hung up", 0);
      return 1;
    }
    if (ready == 0) {
      // Nobody takes bytes: drop what waits so the next transfer starts clean.
      tcflush(m_hPort, TCOFLUSH);
      m_reason = "write to " + m_devicePath + ": not accepted within 1000 ms";
      return 1;
    }
  }

  // Wait for the byte to leave the output queue.
  for (;;) {
    int queued = 0;
    if (ioctl(m_hPort, TIOCOUTQ, &queued) != 0) {
      const int err = errno;
      if (MeansGone(err)) Lose("write to " + m_devicePath, err);
      return 1;  // the byte was accepted; how far it got cannot be known
    }
    if (queued <= 0) return 1;
    const auto now = Clock::now();
    if (now >= deadline) {
      tcflush(m_hPort, TCOFLUSH);
      m_reason = "write to " + m_devicePath + ": not sent within 1000 ms, discarded";
      return 1;
    }
    const int ready = WaitFor(m_hPort, 0, std::min(deadline, now + kDrainStep));
    if (ready > 0 && (ready & kGone)) {
      Lose("write to " + m_devicePath + ": the device hung up", 0);
      return 1;
    }
  }
}

int32_t CSerialLink::SendBytes(const uint8_t* bytes, int32_t count) {
  if (!m_bIsOpen || m_hPort < 0 || count <= 0) return 0;
  for (int32_t i = 0; i < count; ++i) WriteByte(bytes[i]);
  return count;
}

int32_t CSerialLink::ReadWaiting(uint8_t* buffer, int32_t maxCount) {
  if (!m_bIsOpen || m_hPort < 0 || maxCount <= 0) return 0;

  int waiting = 0;
  if (ioctl(m_hPort, FIONREAD, &waiting) != 0) {
    const int err = errno;
    if (MeansGone(err)) {
      Lose("read from " + m_devicePath, err);
    } else {
      m_reason = "read from " + m_devicePath + ": " + ErrorText(err);
    }
    return 0;
  }
  if (waiting <= 0) {
    // Nothing to read; a look without waiting still notices a hang-up.
    pollfd entry{m_hPort, 0, 0};
    if (poll(&entry, 1, 0) > 0 && (entry.revents & kGone)) {
      Lose("read from " + m_devicePath + ": the device hung up", 0);
    }
    return 0;
  }

  const int32_t wanted = std::min<int32_t>(waiting, maxCount);
  const auto deadline = Clock::now() + kReadBound;
  for (;;) {
    const ssize_t got = read(m_hPort, buffer, static_cast<size_t>(wanted));
    if (got > 0) return static_cast<int32_t>(got);
    if (got == 0) {
      // The device said bytes were waiting, yet delivers none: it is gone.
      Lose("read from " + m_devicePath + ": the device delivered nothing after reporting data", 0);
      return 0;
    }
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EAGAIN) {
      if (MeansGone(err)) {
        Lose("read from " + m_devicePath, err);
      } else {
        m_reason = "read from " + m_devicePath + ": " + ErrorText(err);
      }
      return 0;
    }
    const int ready = WaitFor(m_hPort, POLLIN, deadline);
    if (ready == 0) {
      m_reason = "read from " + m_devicePath + ": not finished within 2000 ms";
      return 0;
    }
    if (ready < 0) {
      m_reason = "wait to read from " + m_devicePath + ": " + ErrorText(errno);
      return 0;
    }
    // Readable or hung up: the next read() tells which.
  }
}

void CSerialLink::DiscardWaiting() {
  if (!m_bIsOpen || m_hPort < 0) return;
  if (tcflush(m_hPort, TCIFLUSH) != 0) {
    const int err = errno;
    if (MeansGone(err)) Lose("discard input of " + m_devicePath, err);
  }
}
