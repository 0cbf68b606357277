// CSerialLink's life: opening the line a port number names (a tty, or a
// network line), closing it, watching it for a hang-up, and the fault kept
// when any of that goes wrong. The transfers are in serial_link_transfer.cpp,
// the unit commands in serial_link_commands.cpp.
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "device/line_transport.h"
#include "device/posix_error.h"
#include "device/serial_link.h"
#include "settings/port_map.h"

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

void CSerialLink::SetLineOptions(const LineOptions& options) {
  if (options.echo != m_options.echo) {
    m_echoes.reset();
    m_echoProbeUntil.reset();
  }
  m_options = options;
  if (m_bIsOpen && m_options.echo != EchoMode::kAuto) m_echoes = m_options.echo == EchoMode::kOn;
}

void CSerialLink::SetByteTrace(ByteTrace trace) { m_trace = std::move(trace); }

int32_t CSerialLink::AnswerWaitMs() const {
  return std::max<int32_t>(m_options.answerWaitMs, unit_protocol::kAnswerWindowMs);
}

void CSerialLink::SetFault(Fault fault, const std::string& what, int err) {
  m_fault = fault;
  m_groupToJoin.clear();
  m_reason = err != 0 ? what + ": " + posix_error::ErrorText(err) : what;
}

void CSerialLink::Lose(const std::string& what, int err) {
  SetFault(Fault::kLost, what, err);
  CloseDevice();
}

void CSerialLink::CloseDevice() {
  if (m_hPort) m_hPort->Close();  // the epoll set forgets a closed descriptor by itself
  m_hPort.reset();
  m_bIsOpen = 0;
  m_latencyTimerMs = -1;
  m_lineNotes.clear();
  m_echoes.reset();
  m_sentCount = 0;
  m_echoed = 0;
  m_echoProbeUntil.reset();
  m_tail = {};
  m_leftoversTold = false;
}

int32_t CSerialLink::OpenPort(int32_t port, int32_t baud) {
  if (m_bIsOpen) return 1;

  m_devicePath = m_resolver ? m_resolver(port) : port >= 1 ? DefaultDevicePath(port) : std::string();
  if (m_devicePath.empty()) {
    SetFault(Fault::kNotFound, ComEntryName(port) + ": no device is set for this port", 0);
    return 0;
  }
  if (m_devicePath.find('\0') != std::string::npos) {
    // The system would open only what comes before it: another device than the one named.
    SetFault(Fault::kNotFound, ComEntryName(port) + ": its device path holds a NUL byte", 0);
    return 0;
  }

  LineFailure failure;
  m_hPort = IsNetworkAddress(m_devicePath) ? OpenNetworkLine(m_devicePath, baud, m_options, &failure)
                                           : OpenTtyLine(m_devicePath, baud, m_options, &failure);
  if (!m_hPort) {
    SetFault(failure.fault, failure.reason, 0);
    m_groupToJoin = failure.groupToJoin;
    return 0;
  }
  m_latencyTimerMs = m_hPort->LatencyTimerMs();
  m_lineNotes = m_hPort->Notes();
  WatchDevice();

  m_bIsOpen = 1;
  m_fault = Fault::kNone;
  m_reason.clear();
  m_groupToJoin.clear();
  // Under "auto" the first frame tells; a setting needs no finding out.
  if (m_options.echo != EchoMode::kAuto) m_echoes = m_options.echo == EchoMode::kOn;
  return 1;
}

int32_t CSerialLink::ClosePort() {
  if (!m_bIsOpen || !m_hPort) return 1;
  CloseDevice();
  return 1;
}

// The line sits in an epoll set for its whole open life, so the set's one
// descriptor wakes a waiting caller on a hang-up. Edge-triggered: bytes that
// arrive wake it once and are left in the queue for the commands, so a caller
// waiting on it never spins. Without the set the link works all the same; only
// an idle hang-up is then noticed at the next command.
void CSerialLink::WatchDevice() {
  if (m_watch < 0) m_watch = epoll_create1(EPOLL_CLOEXEC);
  if (m_watch < 0) return;
  epoll_event interest{};
  // Hang-up and errors are always reported; a network line whose far end
  // closed reports only that its reading side ended.
  interest.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
  epoll_ctl(m_watch, EPOLL_CTL_ADD, m_hPort->Descriptor(), &interest);
}

bool CSerialLink::CheckGone() {
  if (m_watch < 0) return false;
  epoll_event events[4];
  uint32_t seen = 0;
  for (;;) {
    const int n = epoll_wait(m_watch, events, 4, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (int i = 0; i < n; ++i) seen |= events[i].events;
  }
  if ((seen & (EPOLLHUP | EPOLLERR | EPOLLRDHUP)) == 0 || !m_bIsOpen) return false;
  const bool closed = (seen & (EPOLLHUP | EPOLLERR)) == 0;
  // A network line's socket knows why (reset, timed out); a tty has no such.
  int err = 0;
  socklen_t size = sizeof err;
  if (getsockopt(m_hPort->Descriptor(), SOL_SOCKET, SO_ERROR, &err, &size) != 0) err = 0;
  Lose("watch " + m_devicePath + (err != 0 ? "" : closed ? ": closed by the far end" : ": the device hung up"), err);
  return true;
}
