// CSerialLink's byte transfers on a Linux tty: a write waited for at most
// 1000 ms, a read that takes only what has arrived, and noticing on the way
// that the device has gone away.
//
// The device is non-blocking; every wait is a poll against a deadline on the
// monotonic clock, resumed with the time left after a signal.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "device/posix_error.h"
#include "device/serial_link.h"

using posix_error::ErrorText;
using posix_error::MeansGone;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWriteBound = std::chrono::milliseconds(1000);
constexpr auto kReadBound = std::chrono::milliseconds(2000);
// How often the output queue is looked at while a written byte leaves; at
// 9600 baud one byte takes about a millisecond on the wire.
constexpr auto kDrainStep = std::chrono::milliseconds(1);
constexpr short kGone = POLLHUP | POLLERR | POLLNVAL;

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

}  // namespace

int32_t CSerialLink::WriteByte(uint8_t byte) {
  // Cleared only when the byte is known to have left (or been taken whole).
  m_byteFailed = true;
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
      if (MeansGone(err)) {
        Lose("write to " + m_devicePath, err);
      } else {
        m_byteFailed = false;  // the byte was accepted; how far it got cannot be known
      }
      return 1;
    }
    if (queued <= 0) {
      m_byteFailed = false;
      return 1;
    }
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
