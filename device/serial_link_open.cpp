// CSerialLink's life: opening the line a port number names (a tty, or a
// network line), closing it, watching it for a hang-up, and the fault kept
// when any of that goes wrong. The transfers are in serial_link_transfer.cpp,
// the unit commands in serial_link_commands.cpp.
#include <algorithm>
#include <system_error>
#include <utility>

#include "device/line_transport.h"
#include "device/link_watch.h"
#include "device/serial_link.h"
#include "settings/port_map.h"

CSerialLink::CSerialLink() = default;

CSerialLink::CSerialLink(PortResolver resolver) : m_resolver(std::move(resolver)) {}

CSerialLink::~CSerialLink() { ClosePort(); }

void CSerialLink::SetPortResolver(PortResolver resolver) { m_resolver = std::move(resolver); }

void CSerialLink::SetLineOpener(LineOpener opener) { m_opener = std::move(opener); }

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
  if (m_options.AnswerWaitAuto()) return m_autoWaitMs;
  return std::max<int32_t>(m_options.answerWaitMs, unit_protocol::kAnswerWindowMs);
}

std::string CSerialLink::AnswerWaitWhy() const {
  // A wait that was set is the operator's own, and Ports… shows it.
  return m_options.AnswerWaitAuto() ? m_autoWaitWhy : std::string();
}

void CSerialLink::StartAutoWait() {
  // Where the adapter is known to hold bytes back, answers come that much
  // later from the first frame on.
  m_autoWaitMs = AutoAnswerWaitStartMs(m_latencyTimerMs);
  m_autoWaitWhy.clear();
  if (m_autoWaitMs > unit_protocol::kAnswerWindowMs) {
    m_autoWaitWhy = "the adapter holds bytes " + std::to_string(m_latencyTimerMs) + " ms";
  }
}

void CSerialLink::SetFault(Fault fault, const std::string& what, int err) {
  m_fault = fault;
  m_groupToJoin.clear();
  m_reason = err != 0 ? what + ": " + std::generic_category().message(err) : what;
}

void CSerialLink::Lose(const std::string& what, int err) {
  SetFault(Fault::kLost, what, err);
  CloseDevice();
}

void CSerialLink::CloseDevice() {
  if (m_hPort) m_hPort->Close();  // the watch forgets a closed line by itself
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

  OpenedLine opened = m_opener ? m_opener(m_devicePath, baud, m_options) : OpenLine(m_devicePath, baud, m_options);
  if (!opened) {
    SetFault(opened.Failure().fault, opened.Failure().reason, 0);
    m_groupToJoin = opened.Failure().groupToJoin;
    return 0;
  }
  m_hPort = std::move(*opened);
  m_latencyTimerMs = m_hPort->LatencyTimerMs();
  StartAutoWait();
  m_lineNotes = m_hPort->Notes();
  WatchDevice();

  m_bIsOpen = 1;
  m_fault = Fault::kNone;
  m_reason.clear();
  m_groupToJoin.clear();
  // Bytes that came before the line was ours answer nothing this link sent
  // (a run with another echo setting, a unit's late answer to someone else):
  // dropped, and counted.
  m_record = {};
  m_recordTaken = true;
  m_droppedAtOpen = DropWaiting(true);
  // Under "auto" the first frame tells; a setting needs no finding out.
  if (m_options.echo != EchoMode::kAuto) m_echoes = m_options.echo == EchoMode::kOn;
  return 1;
}

int32_t CSerialLink::ClosePort() {
  if (!m_bIsOpen || !m_hPort) return 1;
  WaitOutOwedEcho();
  CloseDevice();
  return 1;
}

// The watch lives from the first open to the link's end, so a caller follows
// one descriptor however often the line is reopened. Without it the link
// works all the same; only an idle hang-up is then noticed at the next command.
void CSerialLink::WatchDevice() {
  if (!m_watch) m_watch = std::make_unique<LinkWatch>();
  m_hPort->JoinWatch(*m_watch);
}

int32_t CSerialLink::WatchDescriptor() const { return m_watch ? m_watch->Descriptor() : -1; }

bool CSerialLink::CheckGone() {
  if (!m_watch) return false;
  const LinkWatch::Seen seen = m_watch->Take();
  if (seen == LinkWatch::Seen::kNothing || !m_bIsOpen) return false;
  // A network line's socket knows why (reset, timed out); a tty has no such.
  const std::string why = m_hPort->EndReason();
  Lose("watch " + m_devicePath +
           (!why.empty()                                  ? ": " + why
            : seen == LinkWatch::Seen::kClosedByFarEnd ? ": closed by the far end"
                                                          : ": the device hung up"),
       0);
  return true;
}
