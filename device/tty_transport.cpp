// A line on a Linux tty: opened exclusively with raw 8N1 line settings (and,
// when asked, the kernel's RS-485 mode), single bytes written and waited for
// until they have left, and reads that take only what has arrived. What open
// changed is put back on close.
//
// The device is non-blocking; every wait is a poll against a deadline on the
// monotonic clock, resumed with the time left after a signal.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "device/adapter_tuning.h"
#include "device/deadline_wait.h"
#include "device/line_transport.h"
#include "device/link_watch.h"
#include "device/posix_error.h"
#include "device/serial_line_check.h"

using posix_error::ErrorText;
using posix_error::MeansGone;
using Fault = CSerialLink::Fault;

namespace {

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

std::optional<speed_t> SpeedCode(int32_t rate) {
  for (const BaudRate& entry : kBaudRates) {
    if (entry.rate == rate) return entry.code;
  }
  return std::nullopt;
}

Fault OpenFault(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return Fault::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return Fault::kPermission;
    case EBUSY:  // another program's TIOCEXCL
      return Fault::kInUse;
    default:
      return Fault::kOther;
  }
}

LineFailure Failure(Fault fault, const std::string& what, int err = 0) {
  return {fault, err != 0 ? what + ": " + ErrorText(err) : what, {}};
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

class TtyTransport final : public LineTransport {
 public:
  TtyTransport(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
  ~TtyTransport() override { Close(); }

  // The open steps, in order; a failed one leaves what was done for Close()
  // to undo.
  LineResult<> MakeExclusive();
  LineResult<> SetRawLine(int32_t baud);
  void AskForRs485();
  void AskForLowLatency();

  LineResult<> WriteByte(uint8_t byte, LineClock::time_point deadline) override;
  LineResult<int32_t> ReadWaiting(uint8_t* buffer, int32_t maxCount, LineClock::time_point deadline) override;
  bool WaitReadable(LineClock::time_point deadline) override { return WaitFor(m_fd, POLLIN, deadline) != 0; }
  LineResult<> DiscardWaiting() override;
  void JoinWatch(LinkWatch& watch) override { watch.AddDescriptor(m_fd); }
  int32_t LatencyTimerMs() const override { return m_latencyTimerMs; }
  std::string Notes() const override { return m_notes; }
  void Close() override;

 private:
  // A failure on the device: gone (it will not come back on this descriptor)
  // or only failed.
  LineFailure Trouble(const std::string& what, int err) const {
    return Failure(MeansGone(err) ? Fault::kLost : Fault::kOther, what + " " + m_path, err);
  }

  int m_fd;
  std::string m_path;
  std::optional<termios> m_savedLine;      // put back on close
  std::optional<serial_rs485> m_savedRs485;  // likewise, when RS-485 mode was set
  bool m_exclusive = false;                 // TIOCEXCL is ours to clear
  int32_t m_latencyTimerMs = -1;
  std::string m_notes;
};

LineResult<> TtyTransport::MakeExclusive() {
  // TIOCEXCL does not stop root; an advisory lock does, for every program
  // that locks serial devices the same way (and for a second link here).
  if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    return err == EWOULDBLOCK ? Failure(Fault::kInUse, "open " + m_path + ": in use by another program")
                              : Failure(Fault::kOther, "lock " + m_path, err);
  }
  if (ioctl(m_fd, TIOCEXCL) != 0) {
    const int err = errno;
    return Failure(err == ENOTTY ? Fault::kNotSerial : Fault::kSetup, "make " + m_path + " exclusive", err);
  }
  m_exclusive = true;
  return {};
}

LineResult<> TtyTransport::SetRawLine(int32_t baud) {
  const std::optional<speed_t> speed = SpeedCode(baud);
  if (!speed) {
    return Failure(Fault::kSetup, "set " + std::to_string(baud) + " baud on " + m_path, EINVAL);
  }
  termios line{};
  if (tcgetattr(m_fd, &line) != 0) {
    const int err = errno;
    return Failure(err == ENOTTY ? Fault::kNotSerial : Fault::kSetup, "read line settings of " + m_path, err);
  }
  m_savedLine = line;
  const termios wanted = RawLine(line, *speed);
  if (tcsetattr(m_fd, TCSANOW, &wanted) != 0) {
    return Failure(Fault::kSetup, "apply line settings to " + m_path, errno);
  }
  termios applied{};
  if (tcgetattr(m_fd, &applied) != 0) {
    return Failure(Fault::kSetup, "read back line settings of " + m_path, errno);
  }
  if (!LineIsRaw(applied, *speed)) {
    return Failure(Fault::kSetup, "apply line settings to " + m_path + ": the device did not take them all");
  }
  // The kernel's tty buffers stand in for the input and output queue sizes;
  // Linux has no call to size them.
  return {};
}

// A UART wired to an RS-485 transceiver needs its driver enabled while it
// sends: the kernel raises RTS for each transmission and drops it after. USB
// adapters switch direction themselves and have no such mode; neither do
// ptys. Either way the line is used as it is, and the status line says so.
void TtyTransport::AskForRs485() {
  serial_rs485 previous{};
  if (ioctl(m_fd, TIOCGRS485, &previous) != 0) {
    m_notes = "no RS-485 mode in this driver: used as it is";
    return;
  }
  serial_rs485 wanted = previous;
  wanted.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  wanted.flags &= ~static_cast<__u32>(SER_RS485_RTS_AFTER_SEND);
  if (ioctl(m_fd, TIOCSRS485, &wanted) != 0) {
    m_notes = "RS-485 mode refused (" + ErrorText(errno) + "): used as it is";
    return;
  }
  m_savedRs485 = previous;
  m_notes = "RS-485 mode on";
}

// An adapter that holds answer bytes back makes every read-row miss its
// answer window; ask for low latency and note what the adapter is left at.
// A pty, or a driver without the setting, refuses; that is no fault.
void TtyTransport::AskForLowLatency() {
  RequestLowLatency(m_fd);
  m_latencyTimerMs = AdapterLatencyTimerMs(TtyNameOf(m_path));
}

void TtyTransport::Close() {
  if (m_fd < 0) return;
  // Output that never left would make close() wait for it; it is stale now.
  // Only then: on a pseudo-terminal the flush would also take back bytes
  // that did leave but that the other side has not read yet.
  int queued = 0;
  if (ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued > 0) tcflush(m_fd, TCOFLUSH);
  // As terminal programs do, the line is left as it was found. A lost
  // device refuses this, and has no settings left to keep.
  if (m_savedRs485) ioctl(m_fd, TIOCSRS485, &*m_savedRs485);
  if (m_savedLine) tcsetattr(m_fd, TCSANOW, &*m_savedLine);
  // A pty keeps the exclusive flag past close and would refuse the next
  // open. A lost device refuses this call and takes the flag with it. The
  // flag of another holder of the device is not ours to clear.
  if (m_exclusive) ioctl(m_fd, TIOCNXCL);
  close(m_fd);  // also drops the flock
  m_fd = -1;
}

LineResult<> TtyTransport::WriteByte(uint8_t byte, LineClock::time_point deadline) {
  for (;;) {
    const ssize_t written = write(m_fd, &byte, 1);
    if (written == 1) break;
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) return Trouble("write to", errno);
    const int ready = WaitFor(m_fd, POLLOUT, deadline);
    if (ready < 0) return Trouble("wait to write to", errno);
    if (ready & kGone) return Failure(Fault::kLost, "write to " + m_path + ": the device hung up");
    if (ready == 0) {
      // Nobody takes bytes: drop what waits so the next transfer starts clean.
      tcflush(m_fd, TCOFLUSH);
      return ::Held(Fault::kOther, "write to " + m_path + ": not accepted within 1000 ms");
    }
  }

  // Wait for the byte to leave the output queue.
  for (;;) {
    int queued = 0;
    if (ioctl(m_fd, TIOCOUTQ, &queued) != 0) {
      const int err = errno;
      // The byte was accepted; how far it got cannot be known.
      if (MeansGone(err)) return Trouble("write to", err);
      return {};
    }
    if (queued <= 0) return {};
    const auto now = LineClock::now();
    if (now >= deadline) {
      tcflush(m_fd, TCOFLUSH);
      return ::Held(Fault::kOther, "write to " + m_path + ": not sent within 1000 ms, discarded");
    }
    const int ready = WaitFor(m_fd, 0, std::min(deadline, now + kDrainStep));
    if (ready > 0 && (ready & kGone)) return Failure(Fault::kLost, "write to " + m_path + ": the device hung up");
  }
}

LineResult<int32_t> TtyTransport::ReadWaiting(uint8_t* buffer, int32_t maxCount, LineClock::time_point deadline) {
  int waiting = 0;
  if (ioctl(m_fd, FIONREAD, &waiting) != 0) return Trouble("read from", errno);
  if (waiting <= 0) {
    // Nothing to read; a look without waiting still notices a hang-up.
    pollfd entry{m_fd, 0, 0};
    if (poll(&entry, 1, 0) > 0 && (entry.revents & kGone)) {
      return Failure(Fault::kLost, "read from " + m_path + ": the device hung up");
    }
    return 0;
  }

  const int32_t wanted = std::min<int32_t>(waiting, maxCount);
  for (;;) {
    const ssize_t got = read(m_fd, buffer, static_cast<size_t>(wanted));
    if (got > 0) return static_cast<int32_t>(got);
    if (got == 0) {
      // The device said bytes were waiting, yet delivers none: it is gone.
      return Failure(Fault::kLost, "read from " + m_path + ": the device delivered nothing after reporting data");
    }
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EAGAIN) return Trouble("read from", err);
    const int ready = WaitFor(m_fd, POLLIN, deadline);
    if (ready == 0) return Failure(Fault::kOther, "read from " + m_path + ": not finished within 2000 ms");
    if (ready < 0) return Failure(Fault::kOther, "wait to read from " + m_path, errno);
    // Readable or hung up: the next read() tells which.
  }
}

LineResult<> TtyTransport::DiscardWaiting() {
  if (tcflush(m_fd, TCIFLUSH) == 0) return {};
  const int err = errno;
  if (!MeansGone(err)) return {};
  return Failure(Fault::kLost, "discard input of " + m_path, err);
}

}  // namespace

OpenedLine OpenSerialLine(const std::string& path, int32_t baud, const LineOptions& options) {
  // open() calls a socket "no such device"; it is there, only not a line.
  struct stat named {};
  if (stat(path.c_str(), &named) == 0 && S_ISSOCK(named.st_mode)) {
    return Failure(Fault::kOther, path + " is a socket, not a serial device");
  }
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    const Fault fault = OpenFault(err);
    LineFailure failure = fault == Fault::kInUse ? Failure(fault, "open " + path + ": in use by another program")
                                                 : Failure(fault, "open " + path, err);
    if (fault == Fault::kPermission) failure.groupToJoin = GroupToJoin(path);
    return failure;
  }
  // Only a terminal device can be a line; and not every terminal is one.
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const int err = errno;
    close(fd);
    return Failure(Fault::kOther, "open " + path, err);
  }
  if (!S_ISCHR(info.st_mode) || !isatty(fd)) {
    close(fd);
    return Failure(Fault::kNotSerial, "open " + path + ": not a serial device");
  }
  if (LineResult<> terminal = CheckSerialTerminal(info, path); !terminal) {
    close(fd);
    return terminal.Failure();
  }

  auto line = std::make_unique<TtyTransport>(fd, path);  // from here on Close() undoes everything
  if (LineResult<> exclusive = line->MakeExclusive(); !exclusive) return exclusive.Failure();
  if (LineResult<> raw = line->SetRawLine(baud); !raw) return raw.Failure();
  if (options.rs485) line->AskForRs485();
  line->AskForLowLatency();
  return std::unique_ptr<LineTransport>(std::move(line));
}
