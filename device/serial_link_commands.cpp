// The six unit commands of CSerialLink: each sends the frame unit_protocol.h
// builds for it. The read-row command then takes its answer, one byte after
// each pause, waiting for a byte as long as the line's answer wait allows.
#include <algorithm>

#include "device/line_transport.h"
#include "device/link_clock.h"
#include "device/serial_link.h"
#include "device/unit_protocol.h"

using namespace unit_protocol;

namespace {

// How long a read-row with no pause after it looks at the line once its
// answer is in: as long as the pause between rows, where rows are read in turn.
constexpr int kAnswerWatchMs = 20;

}  // namespace

void CSerialLink::WriteRow(int32_t unit, int32_t row, int32_t ch1, int32_t ch2, int32_t ch3, int32_t ch4) {
  SendFrame(WriteRowFrame(unit, row, ch1, ch2, ch3, ch4));
}

void CSerialLink::ReadRow(int32_t unit, int32_t row, int32_t* ch1, int32_t* ch2, int32_t* ch3, int32_t* ch4) {
  StoreAnswer(ReadRowAnswer(unit, row, true), ch1, ch2, ch3, ch4);
}

CSerialLink::RowAnswer CSerialLink::ReadRowAnswer(int32_t unit, int32_t row, bool reportMissing) {
  const bool pauseFollows = m_checkInNextPause;
  const Frame frame = ReadRowFrame(unit, row);
  bool sent = SendFrame(frame, /*lastEchoLater=*/true) == FrameOutcome::kSent;

  RowAnswer answer;
  std::optional<LineClock::time_point> lateSeenAt;
  if (sent && m_echoProbeUntil) {
    answer = ProbeAnswer(frame);
    sent = m_record.outcome == FrameOutcome::kSent;
    if (reportMissing && m_onMissingAnswer) {
      for (int k = answer.arrived; k < kAnswerBytes; ++k) m_onMissingAnswer(k + 1);
    }
  } else {
    bool missing = !sent;  // a frame that did not go out whole has no answer to take
    const auto wait = std::chrono::milliseconds(AnswerWaitMs());
    for (int k = 0; k < kAnswerBytes; ++k) {
      const auto pauseStart = m_clock->Now();
      if (missing && sent && !lateSeenAt) {
        // The pauses after a missing byte are watched: when a late answer
        // began tells which answer wait would have taken it.
        if (m_hPort && m_hPort->WaitReadable(pauseStart + std::chrono::milliseconds(kReadPauseMs))) {
          lateSeenAt = m_clock->Now();
        }
        m_clock->PauseUntil(pauseStart + std::chrono::milliseconds(kReadPauseMs));
      } else {
        m_clock->PauseMs(kReadPauseMs);
      }
      // The frame's last echo comes back in the first answer pause, ahead of
      // the answer; it is waited for as long as an answer byte would be.
      if (k == 0 && sent && !TakeEchoes(pauseStart + wait, /*answerFollows=*/true)) {
        sent = false;
        missing = true;
      }
      if (!missing) {
        // A late line is waited for up to its answer wait; a byte already there
        // is taken at once, as after the protocol's own pause.
        while (ReadWaiting(&answer.channels[k], 1) != 1) {
          if (!m_bIsOpen || m_clock->Now() >= pauseStart + wait || !m_hPort->WaitReadable(pauseStart + wait)) {
            missing = true;
            break;
          }
        }
        if (!missing) {
          answer.arrived = k + 1;
          continue;
        }
        // The answer is out of step from here on: a byte arriving now could be
        // any channel's, so none of the rest is taken.
        answer.channels[k] = 0;
      }
      if (reportMissing && m_onMissingAnswer) m_onMissingAnswer(k + 1);
    }
  }
  if (!sent) return {};
  if (EchoedInAnswer(answer, frame)) return {};
  // What follows the answer tells whether it was one: nothing more may come,
  // and a missing answer that comes whole a little later was only late. A
  // caller that pauses next looks in that pause; otherwise it is done here.
  m_tail = {true, answer.arrived, lateSeenAt};
  if (!pauseFollows) WatchAfterAnswer(m_clock->Now() + std::chrono::milliseconds(kAnswerWatchMs));
  // A line lost after the answer came leaves the answer as it was.
  return m_record.outcome == FrameOutcome::kSent || m_record.outcome == FrameOutcome::kLost ? answer : RowAnswer{};
}

bool CSerialLink::EchoedInAnswer(const RowAnswer& answer, const Frame& frame) {
  // `bytes` from the answer's byte `at` on, `n` of them, and the answer no longer.
  const auto holds = [&](std::span<const uint8_t> bytes, size_t at, size_t n) {
    return bytes.size() >= n && answer.arrived == static_cast<int>(at + n) &&
           std::equal(bytes.begin(), bytes.begin() + static_cast<long>(n), answer.channels.begin() + static_cast<long>(at));
  };
  const std::span<const uint8_t> own = frame.Bytes();

  // Exactly the frame's own bytes and nothing more, or after one byte that
  // came first (the unit's one byte, or a stray one): its echo, not a row.
  // Under "auto" a row may begin with the bytes of its own frame, and then
  // comes whole: the first frame after opening told that the line does not
  // echo. Set to "off", nothing told it: the frame's bytes where its answer
  // begins are taken for a late echo and the unit's first byte, never a row.
  const bool toldOff = m_options.echo == EchoMode::kOff;
  const bool ownEcho = holds(own, 0, own.size()) || holds(own, 1, own.size()) ||
                       (toldOff && answer.Whole() && std::equal(own.begin(), own.end(), answer.channels.begin()));
  // An earlier frame's first bytes, as many as an answer holds: an echo that
  // comes later than the longest wait may be any recent frame's.
  std::optional<LineClock::time_point> earlierLeftAt;
  for (const SentFrame& earlier : m_earlier) {
    const std::span<const uint8_t> bytes{earlier.bytes.data(), earlier.count};
    if (bytes.empty() || std::equal(own.begin(), own.end(), bytes.begin(), bytes.end())) continue;
    if (holds(bytes, 0, kAnswerBytes) || holds(bytes, 1, kAnswerBytes - 1)) earlierLeftAt = earlier.leftAt;
  }
  const bool beforeEcho = earlierLeftAt.has_value();
  // An answer in part whose bytes are all the frame's, in its order: a line
  // that returns some of what it sends.
  const auto inFrame = [&] {
    size_t next = 0;
    for (int k = 0; k < answer.arrived; ++k) {
      while (next < own.size() && own[next] != answer.channels[static_cast<size_t>(k)]) ++next;
      if (next++ >= own.size()) return false;
    }
    return true;
  };
  if (!ownEcho && !beforeEcho && answer.arrived > 0 && !answer.Whole() && inFrame()) {
    DiscardAfterFault();
    return !Fail(m_echoes == false ? FrameOutcome::kEchoUnexpected : FrameOutcome::kEchoMissing);
  }
  if (!ownEcho && !beforeEcho) return false;
  if (ownEcho && m_echoes == false) {
    // A line that returns what it sends, later than the frame, driven as one
    // that does not.
    DiscardAfterFault();
    return !Fail(FrameOutcome::kEchoUnexpected);
  }
  // An echo so late that the one taken for this frame's was an earlier
  // frame's, or one come back only now. No answer wait would take it.
  m_record.lateness = {MsSince(ownEcho ? m_lastLeftAt : *earlierLeftAt, m_clock->Now()), 0};
  DiscardAfterFault();
  return !Fail(FrameOutcome::kEchoLate);
}

void CSerialLink::StoreAnswer(const RowAnswer& answer, int32_t* ch1, int32_t* ch2, int32_t* ch3, int32_t* ch4) {
  int32_t* const destinations[kAnswerBytes] = {ch1, ch2, ch3, ch4};
  for (int k = 0; k < answer.arrived; ++k) *destinations[k] = answer.channels[k];  // zero-extended: 0..255
}

void CSerialLink::StoreOnUnit(int32_t unit) { SendFrame(StoreFrame(unit)); }

void CSerialLink::SetRunState(int32_t unit, int32_t run) { SendFrame(RunStateFrame(unit, run)); }

void CSerialLink::ChangeAddress(int32_t unit, int32_t newId) { SendFrame(ChangeAddressFrame(unit, newId)); }

void CSerialLink::SetHighestSequence(int32_t unit, uint8_t value) { SendFrame(HighestSequenceFrame(unit, value)); }

void CSerialLink::SendCommand(const Frame& frame) { SendFrame(frame); }
