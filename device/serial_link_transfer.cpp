// CSerialLink's byte transfers over its transport: a write waited for at most
// 1000 ms, a read that takes only what has arrived, noticing on the way that
// the line has gone away; and a frame sent with its pauses, its echo taken
// back and checked on a line that returns what it sends.
#include <algorithm>
#include <cstring>
#include <utility>

#include "device/line_transport.h"
#include "device/pause.h"
#include "device/serial_link.h"

namespace {

constexpr auto kWriteBound = std::chrono::milliseconds(1000);
constexpr auto kReadBound = std::chrono::milliseconds(2000);
// Bytes a discard reads out for the trace before it drops the rest unseen:
// a line that babbles without end must not keep the discard going.
constexpr int kTracedDiscardReads = 16;

}  // namespace

int32_t CSerialLink::WriteByte(uint8_t byte) {
  m_byteLeft = false;
  if (!m_bIsOpen || !m_hPort) return 1;
  LineFailure failure;
  switch (m_hPort->WriteByte(byte, LineClock::now() + kWriteBound, &failure)) {
    case LineTransport::Sent::kLeft:
      m_byteLeft = true;
      if (m_trace) m_trace(TraceDirection::kSent, byte, LineClock::now());
      break;
    case LineTransport::Sent::kGone:
      Lose(failure.reason, 0);
      break;
    case LineTransport::Sent::kHeld:
    case LineTransport::Sent::kFailed:
      m_reason = failure.reason;  // kept for the caller that asks; the line stays open
      break;
  }
  return 1;
}

int32_t CSerialLink::SendBytes(const uint8_t* bytes, int32_t count) {
  if (!m_bIsOpen || !m_hPort || count <= 0) return 0;
  for (int32_t i = 0; i < count; ++i) WriteByte(bytes[i]);
  return count;
}

int32_t CSerialLink::ReadTraced(uint8_t* buffer, int32_t maxCount) {
  if (!m_bIsOpen || !m_hPort || maxCount <= 0) return 0;
  if (m_unreadCount > 0) {
    // Already traced when they were first read.
    const size_t n = std::min(m_unreadCount, static_cast<size_t>(maxCount));
    std::memcpy(buffer, m_unread.data(), n);
    std::memmove(m_unread.data(), m_unread.data() + n, m_unreadCount - n);
    m_unreadCount -= n;
    return static_cast<int32_t>(n);
  }
  LineFailure failure;
  failure.reason.clear();
  const int32_t got = m_hPort->ReadWaiting(buffer, maxCount, LineClock::now() + kReadBound, &failure);
  if (got < 0) {
    Lose(failure.reason, 0);
    return 0;
  }
  if (got == 0 && !failure.reason.empty()) m_reason = failure.reason;
  if (m_trace) {
    const auto at = LineClock::now();
    for (int32_t i = 0; i < got; ++i) m_trace(TraceDirection::kReceived, buffer[i], at);
  }
  return got;
}

int32_t CSerialLink::ReadWaiting(uint8_t* buffer, int32_t maxCount) { return ReadTraced(buffer, maxCount); }

void CSerialLink::DiscardWaiting() {
  m_unreadCount = 0;
  if (!m_bIsOpen || !m_hPort) return;
  if (m_trace) {
    // A technician chasing a fault needs to see what was thrown away too.
    uint8_t bytes[64];
    for (int i = 0; i < kTracedDiscardReads && ReadTraced(bytes, sizeof bytes) > 0; ++i) {
    }
    if (!m_bIsOpen) return;
  }
  LineFailure failure;
  if (!m_hPort->DiscardWaiting(&failure)) {
    Lose(failure.reason, 0);
    return;
  }
  // A discard may show that answers come late (a network line says so).
  m_lineNotes = m_hPort->Notes();
}

bool CSerialLink::TakeEchoes(std::optional<LineClock::time_point> until) {
  while (m_pendingCount > 0 && m_echoes != false) {
    uint8_t got[unit_protocol::Frame::kLongest];
    // Never more than the echoes owed: what follows them is the unit's answer.
    const int32_t n = ReadTraced(got, static_cast<int32_t>(m_pendingCount));
    if (!m_bIsOpen) {
      m_lastFrame = FrameOutcome::kLost;
      return false;
    }
    if (n == 0) {
      if (!until) break;  // it may come in a later pause
      if (LineClock::now() >= *until) {
        // "auto", and nothing came back in the whole first frame: no echo here.
        if (!m_echoes) m_echoes = false;
        break;
      }
      m_hPort->WaitReadable(*until);
      continue;
    }
    if (std::memcmp(got, m_pendingEcho.data(), static_cast<size_t>(n)) != 0) {
      if (!m_echoes) {
        // "auto": what came first was not our byte, so this line does not
        // echo; the bytes are someone else's and stay for the next read.
        std::memcpy(m_unread.data(), got, static_cast<size_t>(n));
        m_unreadCount = static_cast<size_t>(n);
        m_echoes = false;
        break;
      }
      m_lastFrame = FrameOutcome::kEchoWrong;
      return false;
    }
    m_echoes = true;
    std::memmove(m_pendingEcho.data(), m_pendingEcho.data() + n, m_pendingCount - static_cast<size_t>(n));
    m_pendingCount -= static_cast<size_t>(n);
  }
  if (m_echoes == false) m_pendingCount = 0;
  if (until && m_pendingCount > 0) {
    m_lastFrame = FrameOutcome::kEchoMissing;
    return false;
  }
  return true;
}

void CSerialLink::PauseAfterFrame(int milliseconds) {
  const auto start = LineClock::now();
  PauseMs(milliseconds);
  if (m_pendingCount > 0 && m_lastFrame == FrameOutcome::kSent) {
    TakeEchoes(start + std::chrono::milliseconds(AnswerWaitMs()));
  }
}

CSerialLink::FrameOutcome CSerialLink::SendFrame(const unit_protocol::Frame& frame, bool lastEchoLater) {
  lastEchoLater = lastEchoLater || std::exchange(m_lastEchoInPause, false);
  // Once a byte has not left within its bound (or the line returned another
  // byte), the rest of the frame stays back: without its first bytes a unit
  // would read it as another frame (a channel value 0xA0..0xA7 looks like an
  // address). The pauses are still taken, so the command lasts as long as ever.
  m_pendingCount = 0;
  m_lastFrame = m_bIsOpen ? FrameOutcome::kSent : FrameOutcome::kNotOpen;
  bool stopped = !m_bIsOpen;
  // On a line that echoes, what waits now is nobody's echo of this frame
  // (a late answer, noise): compared with it, a sound frame would fail.
  if (!stopped && m_echoes != false) DiscardWaiting();
  for (size_t i = 0; i < frame.size; ++i) {
    if (i > 0) {
      PauseMs(frame.pauseMs);
      // The echo of the byte before is read in the pause that follows it.
      if (!stopped && !TakeEchoes(std::nullopt)) stopped = true;
    }
    if (stopped) continue;
    SendBytes(&frame.bytes[i], 1);
    if (!m_byteLeft) {
      m_lastFrame = m_bIsOpen ? FrameOutcome::kHeld : FrameOutcome::kLost;
      stopped = true;
      continue;
    }
    if (m_echoes != false) m_pendingEcho[m_pendingCount++] = frame.bytes[i];
  }
  // The last byte has no pause after it: its echo is waited for, as long as
  // an answer would be and no longer than it takes to come.
  if (!stopped && m_pendingCount > 0 && !lastEchoLater) {
    TakeEchoes(LineClock::now() + std::chrono::milliseconds(AnswerWaitMs()));
  }
  if (m_lastFrame == FrameOutcome::kEchoWrong) {
    // The rest of a garbled echo may still be on its way: let it come and
    // drop it, so that it cannot fail the next frame too.
    PauseMs(AnswerWaitMs());
    DiscardWaiting();
  }
  return m_lastFrame;
}
