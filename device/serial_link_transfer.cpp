// CSerialLink's byte transfers over its transport: a write waited for at most
// 1000 ms, a read that takes only what has arrived, noticing on the way that
// the line has gone away; and a frame sent with its pauses, the line watched
// around it.
//
// What may arrive around a frame is told apart by what was sent and when:
// the echo of a byte, on a line that returns what it sends, comes after that
// byte left and in the order sent; a unit's answer comes only after the
// frame's last byte left, and only to a read-row. Anything else (a byte
// before a frame, after a write, beyond an answer) is stray: a line fault,
// never data.
#include <algorithm>
#include <cstring>
#include <utility>

#include "device/line_transport.h"
#include "device/link_clock.h"
#include "device/serial_link.h"

namespace {

using std::chrono::milliseconds;
using unit_protocol::Frame;
using unit_protocol::kAnswerBytes;

constexpr auto kWriteBound = milliseconds(1000);
constexpr auto kReadBound = milliseconds(2000);
// Bytes a discard reads out, to count and trace, before it drops the rest unseen:
// a line that babbles without end must not keep the discard going.
constexpr int kTracedDiscardReads = 16;
// How long a late echo or answer is looked for: the longest answer wait.
constexpr auto kLongestWait = milliseconds(kMaxAnswerWaitMs);
// How long the line stays quiet after a frame cut short before the next
// frame begins: a unit that heard the first bytes starts over only after a
// pause inside a frame (the simulated units after 50 ms). Sooner, it would
// take the next frame's first bytes for the rest of the cut one.
constexpr auto kRestartGap = milliseconds(100);

// A byte `lateMs` after the frame, with the answer wait that takes it; 0 when
// even the longest would not.
CSerialLink::Lateness LatenessOf(int32_t lateMs) {
  const int32_t wait = AnswerWaitForLateness(lateMs);
  return {lateMs, wait <= kMaxAnswerWaitMs ? wait : 0};
}

}  // namespace

int32_t CSerialLink::WriteByte(uint8_t byte) {
  m_byteLeft = false;
  m_byteHeld = false;
  if (!m_bIsOpen || !m_hPort) return 1;
  const LineResult<> sent = m_hPort->WriteByte(byte, m_clock->Now() + kWriteBound);
  if (!sent) m_byteHeld = sent.Failure().held;
  if (sent) {
    m_byteLeft = true;
    if (m_trace) m_trace(TraceDirection::kSent, byte, m_clock->Now());
  } else if (sent.Failure().fault == Fault::kLost) {
    Lose(sent.Failure().reason, 0);
  } else {
    m_reason = sent.Failure().reason;  // kept for the caller that asks; the line stays open
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
  const LineResult<int32_t> read = m_hPort->ReadWaiting(buffer, maxCount, m_clock->Now() + kReadBound);
  if (!read && read.Failure().fault == Fault::kLost) {
    Lose(read.Failure().reason, 0);
    return 0;
  }
  if (!read) m_reason = read.Failure().reason;  // the line stays open
  const int32_t got = read ? *read : 0;
  const auto at = m_clock->Now();
  if (!m_discarding) {
    for (int32_t i = 0; i < got; ++i) m_record.came.push_back({at, buffer[i]});
  }
  if (m_trace) {
    for (int32_t i = 0; i < got; ++i) m_trace(TraceDirection::kReceived, buffer[i], at);
  }
  return got;
}

int32_t CSerialLink::ReadWaiting(uint8_t* buffer, int32_t maxCount) { return ReadTraced(buffer, maxCount); }

void CSerialLink::DiscardWaiting() { DropWaiting(false); }

int CSerialLink::DropWaiting(bool count) {
  if (!m_bIsOpen || !m_hPort) return 0;
  // What is thrown away is read out first where it is to be counted, and
  // where a technician chasing a fault sees it in the trace. Otherwise the
  // transport drops it unread: a network line takes bytes still waiting
  // there for answers that came late, and says so.
  int dropped = 0;
  if (count || m_trace) {
    uint8_t bytes[64];
    m_discarding = true;
    for (int i = 0, n = 0; i < kTracedDiscardReads && (n = ReadTraced(bytes, sizeof bytes)) > 0; ++i) dropped += n;
    m_discarding = false;
    if (!m_bIsOpen) return dropped;
  }
  if (const LineResult<> discarded = m_hPort->DiscardWaiting(); !discarded) {
    Lose(discarded.Failure().reason, 0);
    return dropped;
  }
  // A discard may show that answers come late (a network line says so).
  m_lineNotes = m_hPort->Notes();
  return dropped;
}

void CSerialLink::WaitOutOwedEcho() {
  // The last frame's echo, still on its way, would otherwise reach whoever
  // opens the line next, as bytes before their first frame.
  const bool owed = m_echoProbeUntil || (m_echoes == true && m_echoed < m_sentCount);
  if (!m_bIsOpen || !owed || m_sentCount == 0) return;
  const auto until = m_lastLeftAt + kLongestWait;
  while (m_bIsOpen && m_clock->Now() < until) {
    m_hPort->WaitReadable(until);
    DropWaiting(false);
  }
}

bool CSerialLink::Fail(FrameOutcome outcome) {
  // A held byte stays the frame's fault where the transport then gave the
  // line up (a COM port whose byte did not leave is not trusted again).
  m_record.outcome = m_bIsOpen || outcome == FrameOutcome::kHeld ? outcome : FrameOutcome::kLost;
  if (outcome == FrameOutcome::kAnswerLate || outcome == FrameOutcome::kEchoLate) RaiseAutoWait();
  m_tail = {};
  m_leftoversTold = true;
  return false;
}

CSerialLink::FrameOutcome CSerialLink::StrayOutcome(const uint8_t* bytes, int32_t count) const {
  // A line driven as one without echo that returns the frame's own bytes is
  // told so in words that name the fix.
  const bool ownBytes = m_echoes == false && count > 0 && static_cast<size_t>(count) <= m_sentCount &&
                        std::memcmp(bytes, m_sent.data(), static_cast<size_t>(count)) == 0;
  return ownBytes ? FrameOutcome::kEchoUnexpected : FrameOutcome::kStrayBytes;
}

bool CSerialLink::TakeEchoes(std::optional<LineClock::time_point> until, bool answerFollows) {
  for (;;) {
    const size_t owed = m_echoes == false ? 0 : m_sentCount - m_echoed;
    if (owed == 0 && (answerFollows || until)) return true;
    // One byte more than is owed shows a stray one; with an answer to come,
    // what follows the echoes is the answer's.
    uint8_t got[Frame::kLongest + 1];
    const int32_t n = ReadTraced(got, static_cast<int32_t>(owed + (answerFollows ? 0 : 1)));
    if (!m_bIsOpen) return Fail(FrameOutcome::kLost);
    if (n == 0) {
      if (!until || m_clock->Now() >= *until) break;
      m_hPort->WaitReadable(*until);
      continue;
    }
    const auto at = m_clock->Now();
    for (int32_t i = 0; i < n; ++i) {
      if (m_echoed >= m_sentCount || m_echoes == false || got[i] != m_sent[m_echoed]) {
        if (m_echoes == true && m_echoed < m_sentCount) return Fail(FrameOutcome::kEchoWrong);
        return Fail(StrayOutcome(got, n));
      }
      m_echoLateMs = std::max(m_echoLateMs, MsSince(m_sentAt[m_echoed], at));
      ++m_echoed;
    }
    if (!m_echoes && m_echoed == m_sentCount) {
      // Every byte sent so far came back as sent: this line echoes. (Part of
      // it is not enough: noise may begin like a frame.)
      m_echoes = true;
      m_echoProbeUntil.reset();
    }
  }
  // Under "auto" a frame whose first echoes came back in order, but not all
  // in time, is a line that echoes late: its last echo would otherwise be
  // taken for the answer's first byte.
  const bool echoing = m_echoes == true || (!m_echoes && m_echoed > 0);
  if (until && echoing && m_echoed < m_sentCount) WaitForLateEcho();
  return m_record.outcome == FrameOutcome::kSent;
}

void CSerialLink::WaitForLateEcho() {
  // Past the answer wait an echo is late; looked for until the longest wait,
  // it either comes whole (then the wait that would take it is named) or
  // is missing.
  const auto until = m_lastLeftAt + kLongestWait;
  while (m_bIsOpen && m_echoed < m_sentCount && m_clock->Now() < until) {
    uint8_t got[Frame::kLongest];
    const int32_t n = ReadTraced(got, static_cast<int32_t>(m_sentCount - m_echoed));
    if (n == 0) {
      if (m_bIsOpen) m_hPort->WaitReadable(until);  // a read that lost the line closed it
      continue;
    }
    const auto at = m_clock->Now();
    for (int32_t i = 0; i < n; ++i, ++m_echoed) {
      if (got[i] != m_sent[m_echoed]) {
        Fail(FrameOutcome::kEchoWrong);
        return;
      }
      m_echoLateMs = std::max(m_echoLateMs, MsSince(m_sentAt[m_echoed], at));
    }
  }
  if (!m_bIsOpen) {
    Fail(FrameOutcome::kLost);
  } else if (m_echoed == 0 && m_options.echo == EchoMode::kOn) {
    Fail(FrameOutcome::kNoEcho);
  } else if (m_echoed < m_sentCount) {
    Fail(FrameOutcome::kEchoMissing);
  } else {
    m_record.lateness = LatenessOf(m_echoLateMs);
    Fail(FrameOutcome::kEchoLate);
  }
}

bool CSerialLink::WatchEchoProbe(LineClock::time_point until) {
  if (!m_echoProbeUntil) return true;
  // Past the wait, the echo is looked for only now (the window's start-up
  // frame, then an operator who took his time): when it came is unknown.
  const bool watched = m_clock->Now() < *m_echoProbeUntil;
  const LineClock::time_point end = std::min(until, *m_echoProbeUntil);
  if (!TakeEchoes(end) && m_record.outcome != FrameOutcome::kSent) return false;
  if (m_echoes == true) {
    // The whole echo came, but only after the frame was over: every later
    // frame's echo and answer will be as late.
    m_echoProbeUntil.reset();
    if (m_echoed < m_sentCount) return Fail(FrameOutcome::kEchoMissing);
    // The time it was read is no measure of its lateness: the next frame's
    // own echo is, and names the answer wait that would work.
    if (!watched) return true;
    return !EchoTooLate(m_echoLateMs);
  }
  if (m_clock->Now() >= *m_echoProbeUntil) {
    m_echoProbeUntil.reset();
    if (m_echoed > 0) return Fail(FrameOutcome::kEchoMissing);  // only part came back
    m_echoes = false;
  }
  return true;
}

bool CSerialLink::EchoTooLate(int32_t lateMs) {
  const Lateness lateness = LatenessOf(lateMs);
  if (lateness.answerWaitMs != 0 && lateness.answerWaitMs <= AnswerWaitMs()) return false;
  m_record.lateness = lateness;
  return !Fail(FrameOutcome::kEchoLate);
}

void CSerialLink::SettleEcho() {
  // A frame that already failed keeps its fault: what is still on its way
  // after it is no news.
  if (!m_echoProbeUntil || !m_bIsOpen || m_record.outcome != FrameOutcome::kSent) return;
  WatchEchoProbe(*m_echoProbeUntil);
}

bool CSerialLink::LineQuietBeforeFrame() {
  uint8_t got[64];
  const int32_t n = ReadTraced(got, sizeof got);
  if (!m_bIsOpen) return Fail(FrameOutcome::kLost);
  if (n == 0) {
    m_leftoversTold = false;
    return true;
  }
  const bool told = std::exchange(m_leftoversTold, false);
  DiscardWaiting();
  if (told) {
    // The rest of a fault already told may still be on its way.
    return LineQuietBeforeFrame();
  }
  return Fail(FrameOutcome::kStrayBytes);
}

void CSerialLink::WatchAfterAnswer(LineClock::time_point until) {
  if (!m_tail.open) return;
  const int arrived = m_tail.arrived;
  const std::optional<LineClock::time_point> seenAt = m_tail.seenAt;
  m_tail = {};
  // A missing answer is looked for until the longest answer wait has passed:
  // coming later still, it would land in the next read's answer window and
  // be taken for the row of the unit asked next.
  if (arrived < kAnswerBytes) until = std::max(until, m_lastLeftAt + kLongestWait);
  std::array<uint8_t, kAnswerBytes + 1> late{};
  int lateCount = 0;
  LineClock::time_point firstAt{};
  while (m_bIsOpen && m_clock->Now() < until) {
    if (!m_hPort->WaitReadable(until)) break;
    uint8_t got[16];
    const int32_t n = ReadTraced(got, sizeof got);
    if (n > 0 && lateCount == 0) firstAt = seenAt.value_or(m_clock->Now());
    for (int32_t i = 0; i < n; ++i) {
      if (arrived + lateCount >= kAnswerBytes) {
        // Beyond a whole answer: whatever the answer was, it is not to be trusted.
        DiscardWaiting();
        m_clock->PauseUntil(until);
        Fail(FrameOutcome::kStrayBytes);
        return;
      }
      late[static_cast<size_t>(lateCount++)] = got[i];
    }
  }
  if (!m_bIsOpen) {
    Fail(FrameOutcome::kLost);
  } else if (lateCount > 0 && arrived + lateCount == kAnswerBytes) {
    m_record.lateness = LatenessOf(MsSince(m_lastLeftAt, firstAt));
    Fail(FrameOutcome::kAnswerLate);
  } else if (lateCount > 0) {
    Fail(FrameOutcome::kStrayBytes);
  }
  // A missing answer that comes later still is no longer dropped unseen
  // before the next frame: the unit it belongs to is there, and a scan that
  // went on without it would be short.
  m_clock->PauseUntil(until);
}

void CSerialLink::PauseAfterFrame(int milliseconds) {
  const auto start = m_clock->Now();
  const auto end = start + std::chrono::milliseconds(milliseconds);
  if (m_record.outcome != FrameOutcome::kSent || !m_bIsOpen) {
    m_clock->PauseMs(milliseconds);
    return;
  }
  if (m_tail.open) {
    WatchAfterAnswer(end);
    return;
  }
  // The first frame's echo is settled here, where a fault it shows is still
  // that frame's own, even if the pause lasts longer once for it.
  if (m_echoProbeUntil && !WatchEchoProbe(std::max(end, *m_echoProbeUntil))) {
    m_clock->PauseUntil(end);
    return;
  }
  m_clock->PauseUntil(end);
  TakeEchoes(start + std::chrono::milliseconds(AnswerWaitMs()));
}

CSerialLink::FrameOutcome CSerialLink::SendFrame(const Frame& frame, bool lastEchoLater) {
  // A read-row always leaves its last echo to its answer pause.
  lastEchoLater = std::exchange(m_checkInNextPause, false) || lastEchoLater;
  // What the frame before left on the line is over before this one begins.
  if (m_bIsOpen) {
    if (const std::optional<LineClock::time_point> until = QuietAfter(m_record)) m_clock->PauseUntil(*until);
  }
  KeepRecord();
  m_record = {};
  m_recordTaken = false;
  m_record.frame = frame;
  m_tail = {};
  m_record.outcome = m_bIsOpen ? FrameOutcome::kSent : FrameOutcome::kNotOpen;
  // The first frame's echo may still be on its way: until it is settled,
  // this frame's bytes could not be told from it.
  if (m_bIsOpen && m_echoProbeUntil) WatchEchoProbe(*m_echoProbeUntil);
  // Once a byte has not left within its bound (or the line returned another
  // byte), the rest of the frame stays back: without its first bytes a unit
  // would read it as another frame (a channel value 0xA0..0xA7 looks like an
  // address). The pauses are still taken, so the command lasts as long as ever.
  bool stopped = !m_bIsOpen || m_record.outcome != FrameOutcome::kSent || !LineQuietBeforeFrame();
  std::rotate(m_earlier.rbegin(), m_earlier.rbegin() + 1, m_earlier.rend());
  m_earlier.front() = {m_sent, m_sentCount, m_lastLeftAt};
  m_sentCount = 0;
  m_echoed = 0;
  m_echoLateMs = 0;
  for (size_t i = 0; i < frame.size; ++i) {
    if (i > 0) {
      m_clock->PauseMs(frame.pauseMs);
      // The echo of the byte before is read in the pause that follows it.
      if (!stopped && !TakeEchoes(std::nullopt)) stopped = true;
    }
    if (stopped) continue;
    SendBytes(&frame.bytes[i], 1);
    if (!m_byteLeft) {
      // A byte held past its bound may have left in part; a line that went
      // away took it with it.
      m_record.lastUnknown = m_byteHeld;
      Fail(m_byteHeld ? FrameOutcome::kHeld : m_bIsOpen ? FrameOutcome::kHeld : FrameOutcome::kLost);
      stopped = true;
      continue;
    }
    m_sentAt[m_sentCount] = m_clock->Now();
    m_sent[m_sentCount++] = frame.bytes[i];
    m_record.left.push_back({m_sentAt[m_sentCount - 1], frame.bytes[i]});
  }
  m_lastLeftAt = m_clock->Now();
  if (!stopped && !m_echoes && m_echoed == 0) {
    // "auto", and nothing came back during the frame: not decided before the
    // longest answer wait has passed.
    m_echoProbeUntil = m_lastLeftAt + kLongestWait;
  }
  // The last byte has no pause after it: its echo is waited for, as long as
  // an answer would be and no longer than it takes to come.
  if (!stopped && !lastEchoLater) {
    if (m_echoProbeUntil) {
      WatchEchoProbe(m_lastLeftAt + std::chrono::milliseconds(AnswerWaitMs()));
    } else if (m_echoes == true) {
      TakeEchoes(m_lastLeftAt + std::chrono::milliseconds(AnswerWaitMs()));
    }
  }
  if (m_record.outcome == FrameOutcome::kEchoWrong || m_record.outcome == FrameOutcome::kStrayBytes ||
      m_record.outcome == FrameOutcome::kEchoUnexpected) {
    DiscardAfterFault();
  }
  return m_record.outcome;
}

void CSerialLink::DiscardAfterFault() {
  // The rest of a garbled echo may still be on its way: let it come and drop
  // it, so that it cannot fail the next frame too.
  m_clock->PauseMs(AnswerWaitMs());
  DiscardWaiting();
}

CSerialLink::RowAnswer CSerialLink::ProbeAnswer(const Frame& frame) {
  // Nothing came back while the frame was sent, so an echo, if any, is late:
  // the bytes are gathered until the longest answer wait has passed, or
  // until they can only be an answer. The protocol's answer pauses are the
  // least this takes.
  const auto until = *m_echoProbeUntil;
  m_echoProbeUntil.reset();
  const std::span<const uint8_t> sentBytes = frame.Bytes();
  std::array<uint8_t, Frame::kLongest + kAnswerBytes + 1> got{};
  std::array<LineClock::time_point, Frame::kLongest + kAnswerBytes + 1> at{};
  size_t count = 0;
  const auto startsLikeFrame = [&] {
    return std::equal(got.begin(), got.begin() + static_cast<long>(std::min(count, sentBytes.size())), sentBytes.begin());
  };
  while (m_bIsOpen && count < got.size() && m_clock->Now() < until) {
    if (count >= kAnswerBytes && !startsLikeFrame()) break;  // an answer, not an echo
    if (count == sentBytes.size() + kAnswerBytes) break;     // the echo, then an answer
    const int32_t n = ReadTraced(&got[count], 1);
    if (n == 0) {
      if (m_bIsOpen) m_hPort->WaitReadable(until);  // a read that lost the line closed it
      continue;
    }
    at[count++] = m_clock->Now();
  }
  m_clock->PauseUntil(m_lastLeftAt + std::chrono::milliseconds(kAnswerBytes * unit_protocol::kReadPauseMs));
  if (!m_bIsOpen) {
    Fail(FrameOutcome::kLost);
    return {};
  }

  const bool echoed = count >= sentBytes.size() && startsLikeFrame() &&
                      (count == sentBytes.size() || count == sentBytes.size() + kAnswerBytes);
  if (echoed) {
    m_echoes = true;
    int32_t lateMs = 0;
    for (size_t i = 0; i < sentBytes.size(); ++i) lateMs = std::max(lateMs, MsSince(m_sentAt[i], at[i]));
    if (EchoTooLate(lateMs)) return {};
    return TimelyAnswer({&got[sentBytes.size()], count - sentBytes.size()}, {&at[sentBytes.size()], count - sentBytes.size()});
  }
  const bool partialEcho = count > 0 && count < sentBytes.size() && startsLikeFrame();
  if (count > kAnswerBytes || partialEcho) {
    DiscardWaiting();
    Fail(partialEcho ? FrameOutcome::kEchoMissing : FrameOutcome::kStrayBytes);
    return {};
  }
  // No echo: what came is the unit's answer (a row may well begin with its
  // own address byte).
  m_echoes = false;
  return TimelyAnswer({got.data(), count}, {at.data(), count});
}

CSerialLink::RowAnswer CSerialLink::TimelyAnswer(std::span<const uint8_t> bytes, std::span<const LineClock::time_point> at) {
  for (size_t k = 0; k < bytes.size(); ++k) {
    // Each byte within the answer wait after the one before, as a read that
    // takes them one by one would have it.
    if (MsSince(m_lastLeftAt, at[k]) <= static_cast<int32_t>(k + 1) * AnswerWaitMs()) continue;
    m_record.lateness = LatenessOf(MsSince(m_lastLeftAt, at[k]) - static_cast<int32_t>(k) * unit_protocol::kReadPauseMs);
    DiscardAfterFault();
    Fail(bytes.size() == kAnswerBytes ? FrameOutcome::kAnswerLate : FrameOutcome::kStrayBytes);
    return {};
  }
  RowAnswer answer;
  std::copy(bytes.begin(), bytes.end(), answer.channels.begin());
  answer.arrived = static_cast<int>(bytes.size());
  return answer;
}

void CSerialLink::KeepRecord() {
  if (m_record.frame.size == 0 || m_recordTaken) return;
  if (m_records.size() == kKeptRecords) m_records.erase(m_records.begin());
  m_records.push_back(std::move(m_record));
  m_recordTaken = true;
}

std::vector<CSerialLink::FrameRecord> CSerialLink::TakeRecords() {
  const bool lastTaken = m_recordTaken;
  std::vector<FrameRecord> taken = std::move(m_records);
  m_records.clear();
  if (m_record.frame.size > 0 && !lastTaken) taken.push_back(m_record);
  m_recordTaken = true;
  return taken;
}

std::optional<LineClock::time_point> CSerialLink::QuietAfter(const FrameRecord& record) const {
  if (record.frame.size == 0 || record.NoneLeft()) return std::nullopt;
  const LineClock::time_point last = record.left.empty() ? m_lastLeftAt : record.left.back().at;
  // A unit that heard a frame's first bytes starts over only after a pause;
  // sooner, it would take the next frame's first bytes for the cut one's rest.
  if (!record.LeftWhole()) return last + kRestartGap;
  // A read that left whole but failed may still be answered: later than its
  // wait, that answer would land in the next read's window.
  const bool read = record.frame.bytes[1] == unit_protocol::kReadLetter;
  const bool failed = record.outcome != FrameOutcome::kSent && record.outcome != FrameOutcome::kLost &&
                      record.outcome != FrameOutcome::kNotOpen;
  if (read && failed) return last + kLongestWait;
  return std::nullopt;
}

void CSerialLink::RaiseAutoWait() {
  // Only a whole answer, or the whole echo of a frame, that came late on a
  // line whose echo is settled says how late this line answers: part of an
  // answer behind a late echo says nothing of the kind (it fails as stray).
  const int32_t wanted = m_record.lateness.answerWaitMs;
  if (!m_options.AnswerWaitAuto() || !m_echoes.has_value() || wanted <= m_autoWaitMs || wanted == 0) return;
  m_record.raised = WaitRaise{m_autoWaitMs, wanted, m_record.lateness.lateMs};
  m_autoWaitMs = wanted;
  m_autoWaitWhy = "raised when an answer came " + std::to_string(m_record.lateness.lateMs) + " ms late";
}

int32_t CSerialLink::MsSince(TimePoint from, TimePoint to) {
  return static_cast<int32_t>(std::chrono::ceil<milliseconds>(to - from).count());
}
