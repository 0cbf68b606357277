// A line behind a serial device server (ser2net or a small box), reached
// over TCP: raw ("tcp://HOST:PORT", the bytes as they are) or Telnet with
// COM-port control ("rfc2217://HOST:PORT", this end sets 9600 8N1). The
// connection is made in network_connect.cpp; this is the line on it.
//
// Every byte is sent on its own at once, so the commands' pauses reach the
// far side as they were made. Opening (name lookup, connect and the COM-port
// settings) never takes longer than kOpenBound.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "device/deadline_wait.h"
#include "device/line_transport.h"
#include "device/link_watch.h"
#include "device/network_connect.h"
#include "device/telnet_codec.h"
#include "device/unit_protocol.h"

using socket_system::ErrorText;
using socket_system::LastError;
using network_connect::kOpenBound;

namespace {

using std::chrono::milliseconds;

constexpr size_t kReadChunk = 512;
constexpr int kReadsPerTake = 64;
// The most data bytes kept waiting to be read: far more than any answer, and
// all a server that sends without end can cost. What does not fit stays in
// the socket, whose buffer the kernel bounds; a full one holds the server back.
constexpr size_t kKeptBytes = 4096;
// While COM-port control is set up, the end of what the server said is kept
// in case it closes with a reason ("Port already in use"); the rest is
// dropped, as it was read at another speed.
constexpr size_t kKeptWhileSettingUp = 128;
// All a server may send before the line is set up: a serial device server
// sends a few dozen bytes of negotiation, and a line at 9600 baud some
// hundred more in that second. More is a flood, not a server to use.
constexpr uint64_t kSetUpBytes = 64 * 1024;
// How long a raw connection is watched for a server turning it away at once
// ("Port already in use"), and the pause before trying such a server again.
constexpr milliseconds kTurnAwayWindow{10};
constexpr milliseconds kInUseRetry{20};

std::string Ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, ms < 1 ? "%.2f" : ms < 10 ? "%.1f" : "%.0f", ms);
  return text;
}

// What the round trip leaves of the answer wait, in words. The network
// holds an answer back as a USB adapter's latency timer does, and has the
// same budget.
std::string RoundTripNotes(double roundTripMs, const LineOptions& options) {
  if (roundTripMs < 0) return {};
  std::string notes = "network round trip " + Ms(roundTripMs) + " ms";
  const int waitMs = std::max(options.answerWaitMs, unit_protocol::kAnswerWindowMs);
  const int needed = AnswerWaitForLatency(static_cast<int32_t>(std::ceil(roundTripMs)));
  if (roundTripMs > LatencyLimitMs(waitMs) && needed > waitMs) {
    notes += needed <= kMaxAnswerWaitMs
                 ? ": too slow for a " + std::to_string(waitMs) + " ms answer wait; set it to " +
                       std::to_string(needed) + " ms"
                 : ": too slow for units' answers";
  }
  return notes;
}

class NetworkLine final : public LineTransport {
 public:
  NetworkLine(int fd, bool telnet, std::string where) : m_fd(fd), m_telnet(telnet), m_where(std::move(where)) {}
  ~NetworkLine() override { Close(); }

  // Sets up COM-port control; the round trip it measured on the way (-1:
  // none), or why the line could not be set up.
  LineResult<double> Negotiate(uint32_t baud, LineClock::time_point deadline);
  // A raw connection: fails when the server closes it before `until`. What it
  // said meanwhile is no unit's and is dropped.
  LineResult<> Welcomed(LineClock::time_point until);
  void SetNotes(std::string notes) { m_notes = std::move(notes); }
  // The line is set up: what arrives from now on is the units'.
  void SetUp() { m_settingUp = false; }
  // Turned away before the line was ours: the fault becomes "held by another
  // client" when the server said so, else "away".
  static void TurnedAway(LineFailure& failure);

  LineResult<> WriteByte(uint8_t byte, LineClock::time_point deadline) override;
  LineResult<int32_t> ReadWaiting(uint8_t* buffer, int32_t maxCount, LineClock::time_point deadline) override;
  bool WaitReadable(LineClock::time_point deadline) override;
  LineResult<> DiscardWaiting() override;
  void JoinWatch(LinkWatch& watch) override { watch.AddDescriptor(m_fd); }
  std::string EndReason() const override;
  std::string Notes() const override {
    if (!m_answersLate) return m_notes;
    return m_notes + (m_notes.empty() ? "" : "; ") +
           "answers come late: on ser2net set chardelay: false for this port (its default holds each answer "
           "about 2 ms), or raise the answer wait";
  }
  void Close() override {
    if (m_fd >= 0) socket_system::CloseSocket(m_fd);
    m_fd = -1;
  }

 private:
  // Takes what the socket holds, without waiting, into m_arrived, until
  // kKeptBytes wait there. Fails with kLost once the far end has ended.
  LineResult<> Take();
  LineResult<> SendAll(const uint8_t* bytes, size_t count, LineClock::time_point deadline);
  size_t Waiting() const { return m_arrived.size() - m_readFrom; }
  // The bytes not yet read, when they are one line of text.
  std::string SaidText() const {
    std::string text(m_arrived.begin() + static_cast<std::ptrdiff_t>(m_readFrom), m_arrived.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const bool printable = std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c <= '~'; });
    return printable && text.size() <= 80 ? text : std::string();
  }

  int m_fd;
  bool m_telnet;
  std::string m_where;
  std::string m_notes;
  telnet::Session m_session;
  std::vector<uint8_t> m_arrived;  // data bytes not yet read, oldest first; at most kKeptBytes
  size_t m_readFrom = 0;
  uint64_t m_received = 0;  // bytes taken from the socket, Telnet commands included
  bool m_settingUp = true;     // until SetUp(): a server may still turn this client away
  bool m_answersLate = false;  // bytes were still arriving when the next command began
  bool m_ended = false;        // the far end closed; m_endReason says how
  std::string m_endReason;
};

LineResult<> NetworkLine::SendAll(const uint8_t* bytes, size_t count, LineClock::time_point deadline) {
  size_t sent = 0;
  while (sent < count) {
    const ssize_t n = socket_system::SendNow(m_fd, bytes + sent, count - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    const int err = LastError();
    if (err == EINTR) continue;
    if (err != EAGAIN) return Failed(CSerialLink::Fault::kLost, "send to " + m_where + ": " + ErrorText(err));
    const int ready = WaitFor(m_fd, POLLOUT, deadline);
    if (ready == 0) {
      // Bytes in the socket cannot be taken back, and would reach a unit
      // late and out of their frame: the connection is given up instead.
      return Failed(CSerialLink::Fault::kLost, "send to " + m_where + ": the far end took nothing for " +
                                                   std::to_string(kOpenBound.count()) + " ms");
    }
    if (ready < 0) return Failed(CSerialLink::Fault::kOther, "wait to send to " + m_where + ": " + ErrorText(errno));
  }
  return {};
}

LineResult<> NetworkLine::WriteByte(uint8_t byte, LineClock::time_point deadline) {
  if (m_fd < 0) return Failed(CSerialLink::Fault::kOther, "send to " + m_where + ": closed");
  if (!m_telnet) return SendAll(&byte, 1, deadline);
  std::vector<uint8_t> wire;
  m_session.Encode(byte, &wire);
  return SendAll(wire.data(), wire.size(), deadline);
}

LineResult<> NetworkLine::Take() {
  if (m_ended) return Failed(CSerialLink::Fault::kLost, m_endReason);
  // What was read already goes, so the buffer holds only what is waiting.
  m_arrived.erase(m_arrived.begin(), m_arrived.begin() + static_cast<std::ptrdiff_t>(m_readFrom));
  m_readFrom = 0;
  uint8_t chunk[kReadChunk];
  std::vector<uint8_t> reply;
  // A far end that sends without end must not keep a command here, nor fill
  // the memory: what is not taken now (or does not fit) is taken by a later
  // call. Telnet never makes more data bytes than it received.
  ssize_t got = -1;
  int err = EAGAIN;
  for (int reads = 0; reads < kReadsPerTake && m_arrived.size() < kKeptBytes; ++reads) {
    got = socket_system::ReceiveNow(m_fd, chunk, std::min(sizeof chunk, kKeptBytes - m_arrived.size()));
    if (got > 0) {
      m_received += static_cast<uint64_t>(got);
      if (m_telnet) {
        m_session.Receive(chunk, static_cast<size_t>(got), &m_arrived, &reply);
      } else {
        m_arrived.insert(m_arrived.end(), chunk, chunk + got);
      }
      continue;
    }
    err = got == 0 ? 0 : LastError();
    if (err != EINTR) break;
    err = EAGAIN;
  }
  // What the session must answer goes out now; a failure shows at the next send.
  if (!reply.empty()) socket_system::SendNow(m_fd, reply.data(), reply.size());
  if (got > 0 || err == EAGAIN || err == EWOULDBLOCK) return {};
  m_ended = got == 0 || err == ECONNRESET || err == EPIPE || err == ETIMEDOUT || err == EHOSTUNREACH ||
            err == ENETUNREACH;
  // A server that turns a client away says why in text ("Port already in
  // use") and closes; that text is no unit's answer. A client that had sent
  // it something meanwhile (the Telnet opening) gets a reset for the close,
  // after the text. Once the line is set up, what arrives is the units'.
  const bool closed = got == 0 || err == ECONNRESET;
  const std::string said = m_settingUp && closed ? SaidText() : std::string();
  const std::string reason =
      "receive from " + m_where + ": " +
      (!said.empty() ? "closed by the far end (\"" + said + "\")"
                     : got == 0 ? std::string("closed by the far end") : ErrorText(err));
  if (m_ended) m_endReason = reason;
  return Failed(m_ended ? CSerialLink::Fault::kLost : CSerialLink::Fault::kOther, reason);
}

LineResult<int32_t> NetworkLine::ReadWaiting(uint8_t* buffer, int32_t maxCount, LineClock::time_point) {
  if (m_fd < 0 || maxCount <= 0) return 0;
  const LineResult<> taken = Take();
  const size_t waiting = m_arrived.size() - m_readFrom;
  // Bytes that came before the end are still the unit's; the end shows next.
  if (waiting == 0 && !taken) return taken.Failure();
  if (waiting == 0) return 0;
  const size_t count = std::min(waiting, static_cast<size_t>(maxCount));
  std::copy_n(m_arrived.begin() + static_cast<std::ptrdiff_t>(m_readFrom), count, buffer);
  m_readFrom += count;
  return static_cast<int32_t>(count);
}

std::string NetworkLine::EndReason() const {
  const int err = m_fd < 0 ? 0 : socket_system::PendingError(m_fd);
  return err != 0 ? ErrorText(err) : std::string();
}

bool NetworkLine::WaitReadable(LineClock::time_point deadline) {
  for (;;) {
    if (m_fd < 0 || Waiting() > 0 || m_ended) return true;
    const int ready = WaitFor(m_fd, POLLIN, deadline);
    if (ready == 0) return false;
    if (ready < 0) return true;  // the next read tells what is wrong
    // Telnet commands alone make the socket readable without a data byte; a
    // server that sends nothing else must not keep the caller past its
    // deadline (a readable socket is reported even then).
    if (!Take()) return true;
    if (Waiting() == 0 && LineClock::now() >= deadline) return false;
  }
}

LineResult<> NetworkLine::DiscardWaiting() {
  if (m_fd < 0) return {};
  const LineResult<> taken = Take();
  // On a network line nothing but a unit sends: what is left over is the end
  // of an answer that missed its window.
  m_answersLate = m_answersLate || m_readFrom < m_arrived.size();
  m_arrived.clear();
  m_readFrom = 0;
  if (!taken && taken.Failure().fault == CSerialLink::Fault::kLost) return taken;
  return {};
}

LineResult<> NetworkLine::Welcomed(LineClock::time_point until) {
  // Until `until` and no longer, whatever the server sends (a readable socket
  // is reported even after it); a server that fills the buffer meanwhile is
  // not turning this client away in a line of text.
  while (Waiting() < kKeptBytes && LineClock::now() < until && WaitFor(m_fd, POLLIN, until) > 0) {
    if (LineResult<> taken = Take(); !taken) return taken;
  }
  // A Telnet server opens with option requests (IAC WILL/WONT/DO/DONT x). On
  // it a raw line's every 0xFF would be taken as a command and the frame cut:
  // two such requests in a row are no unit's late answer.
  auto isRequest = [this](size_t at) {
    return at + 3 <= m_arrived.size() && m_arrived[at] == telnet::kIac && m_arrived[at + 1] >= telnet::kWill &&
           m_arrived[at + 1] <= telnet::kDont;
  };
  if (isRequest(m_readFrom) && isRequest(m_readFrom + 3)) {
    return Failed(CSerialLink::Fault::kSetup, "set up " + m_where +
                                                  ": the server speaks Telnet; its 0xFF bytes would be cut from "
                                                  "frames. Use rfc2217://");
  }
  m_arrived.clear();
  m_readFrom = 0;
  return {};
}

void NetworkLine::TurnedAway(LineFailure& failure) {
  const bool held = failure.reason.find("in use") != std::string::npos;
  failure.fault = held ? CSerialLink::Fault::kInUse : CSerialLink::Fault::kNotFound;
}

LineResult<double> NetworkLine::Negotiate(uint32_t baud, LineClock::time_point deadline) {
  using telnet::ComPortSetting;
  const std::vector<uint8_t> opening = m_session.Opening();
  const auto asked = LineClock::now();
  double roundTripMs = -1;
  if (LineResult<> sent = SendAll(opening.data(), opening.size(), deadline); !sent) return sent.Failure();
  bool settingsSent = false;
  const std::pair<ComPortSetting, uint32_t> wanted[] = {
      {telnet::kSetBaudRate, baud},
      {telnet::kSetDataSize, 8},
      {telnet::kSetParity, telnet::kParityNone},
      {telnet::kSetStopSize, telnet::kStopBitsOne},
      {telnet::kSetControl, telnet::kControlNoFlow},
  };
  const char* names[] = {"", "baud rate", "data bits", "parity", "stop bits", "flow control"};
  const uint64_t receivedBefore = m_received;
  for (;;) {
    if (LineResult<> taken = Take(); !taken) return taken.Failure();
    if (Waiting() > kKeptWhileSettingUp) {
      m_arrived.erase(m_arrived.begin(), m_arrived.end() - static_cast<std::ptrdiff_t>(kKeptWhileSettingUp));
      m_readFrom = 0;
    }
    const telnet::ComPortState state = m_session.ComPort();
    if (state == telnet::ComPortState::kRefused) {
      return Failed(CSerialLink::Fault::kSetup, "set up " + m_where +
                                                    ": the server refuses COM-port control (RFC 2217); use tcp:// "
                                                    "for a raw port");
    }
    if (state == telnet::ComPortState::kAccepted && !settingsSent) {
      roundTripMs = std::chrono::duration<double, std::milli>(LineClock::now() - asked).count();
      const std::vector<uint8_t> settings = m_session.Settings(baud);
      if (LineResult<> sent = SendAll(settings.data(), settings.size(), deadline); !sent) return sent.Failure();
      settingsSent = true;
    }
    bool all = settingsSent;
    for (const auto& [setting, value] : wanted) {
      const std::optional<uint32_t> answer = m_session.Answered(setting);
      if (!answer) {
        all = false;
      } else if (*answer != value) {
        return Failed(CSerialLink::Fault::kSetup, "set up " + m_where + ": the server set " +
                                                      std::to_string(*answer) + " as " + names[setting] + ", not " +
                                                      std::to_string(value));
      }
    }
    if (all) break;
    const std::string settings = std::to_string(baud) + " 8N1";
    if (m_received - receivedBefore > kSetUpBytes) {
      return Failed(CSerialLink::Fault::kSetup,
                    "set up " + m_where + ": the server sent more than " + std::to_string(kSetUpBytes / 1024) +
                        " KB without " +
                        (settingsSent ? "confirming " + settings : "taking on COM-port control (RFC 2217)") +
                        ": no serial device server answers so");
    }
    // A server that keeps sending keeps the socket readable past the deadline.
    if (LineClock::now() >= deadline || WaitFor(m_fd, POLLIN, deadline) == 0) {
      const std::string bound = std::to_string(kOpenBound.count()) + " ms";
      return Failed(CSerialLink::Fault::kSetup,
                    "set up " + m_where + ": " +
                        (settingsSent ? "the server did not confirm " + settings + " within " + bound
                                      : "no answer to COM-port control (RFC 2217) within " + bound +
                                            "; use tcp:// for a raw port"));
    }
  }
  // Bytes from before the settings took were read at another speed.
  m_arrived.clear();
  m_readFrom = 0;
  return roundTripMs;
}

// Connects to the first of `list` that takes the connection and sets the
// line up. *turnedAway tells a server that took the connection and dropped
// it before the line was set up.
OpenedLine ConnectOnce(const network_connect::AddressList& list, bool telnet, int32_t baud,
                       const LineOptions& options, LineClock::time_point deadline, bool* turnedAway) {
  *turnedAway = false;
  // Every address the name has, in the resolver's order, within the one bound.
  LineResult<int> fd = Failed(CSerialLink::Fault::kNotFound, "no address to connect to");
  std::string where;
  for (const network_connect::Endpoint& entry : list) {
    fd = network_connect::Connect(entry, deadline);
    where = network_connect::Numeric(entry);
    if (fd) break;
  }
  if (!fd) return fd.Failure();
  auto line = std::make_unique<NetworkLine>(*fd, telnet, where);
  double roundTripMs = network_connect::SmoothedRoundTripMs(*fd);
  LineResult<double> ready = telnet ? line->Negotiate(static_cast<uint32_t>(baud), deadline)
                                    : LineResult<double>(-1.0);
  if (ready && !telnet) {
    if (LineResult<> welcomed = line->Welcomed(std::min(deadline, LineClock::now() + kTurnAwayWindow)); !welcomed) {
      ready = welcomed.Failure();
    }
  }
  if (!ready) {
    // A refusal or a silence is the server's answer; anything else dropped us.
    LineFailure failure = ready.Failure();
    *turnedAway = failure.fault != CSerialLink::Fault::kSetup;
    if (*turnedAway) NetworkLine::TurnedAway(failure);
    return failure;
  }
  roundTripMs = std::max(roundTripMs, *ready);
  line->SetNotes(RoundTripNotes(roundTripMs, options));
  line->SetUp();
  return std::unique_ptr<LineTransport>(std::move(line));
}

}  // namespace

OpenedLine OpenNetworkLine(const std::string& address, int32_t baud, const LineOptions& options) {
  const auto deadline = LineClock::now() + kOpenBound;
  // The address itself is named where the line is (the status line, a
  // command's message): a failure's reason says only what is wrong with it.
  const LineResult<network_connect::NetworkAddress> parsed = network_connect::ParseAddress(address);
  if (!parsed) return parsed.Failure();
  const LineResult<network_connect::AddressList> list = network_connect::Resolve(*parsed, deadline);
  if (!list) return list.Failure();
  // A server frees its line a moment after the last client left; a client
  // that comes in that moment is turned away, in words or by a reset. Tried
  // again within the bound.
  for (;;) {
    bool turnedAway = false;
    OpenedLine line = ConnectOnce(*list, parsed->telnet, baud, options, deadline, &turnedAway);
    // A try is worth making only while its watch for a refusal fits before
    // the bound: cut short, it would take a server's refusal for a welcome.
    if (line || !turnedAway || LineClock::now() + kInUseRetry + 5 * kTurnAwayWindow >= deadline) return line;
    std::this_thread::sleep_for(kInUseRetry);
  }
}
