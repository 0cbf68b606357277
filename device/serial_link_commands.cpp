// The six unit commands of CSerialLink: each sends the frame unit_protocol.h
// builds for it. The read-row command then takes its answer, one byte after
// each pause, waiting for a byte as long as the line's answer wait allows.
#include <algorithm>

#include "device/line_transport.h"
#include "device/pause.h"
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
    sent = m_lastFrame == FrameOutcome::kSent;
    if (reportMissing && m_onMissingAnswer) {
      for (int k = answer.arrived; k < kAnswerBytes; ++k) m_onMissingAnswer(k + 1);
    }
  } else {
    bool missing = !sent;  // a frame that did not go out whole has no answer to take
    const auto wait = std::chrono::milliseconds(AnswerWaitMs());
    for (int k = 0; k < kAnswerBytes; ++k) {
      const auto pauseStart = LineClock::now();
      if (missing && sent && !lateSeenAt) {
        // The pauses after a missing byte are watched: when a late answer
        // began tells which answer wait would have taken it.
        if (m_hPort && m_hPort->WaitReadable(pauseStart + std::chrono::milliseconds(kReadPauseMs))) {
          lateSeenAt = LineClock::now();
        }
        const auto left = pauseStart + std::chrono::milliseconds(kReadPauseMs) - LineClock::now();
        if (left > LineClock::duration::zero()) {
          PauseMs(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        }
      } else {
        PauseMs(kReadPauseMs);
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
          if (!m_bIsOpen || LineClock::now() >= pauseStart + wait || !m_hPort->WaitReadable(pauseStart + wait)) {
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
  // What follows the answer tells whether it was one: nothing more may come,
  // and a missing answer that comes whole a little later was only late. A
  // caller that pauses next looks in that pause; otherwise it is done here.
  m_tail = {true, answer.arrived, lateSeenAt};
  if (!pauseFollows) WatchAfterAnswer(LineClock::now() + std::chrono::milliseconds(kAnswerWatchMs));
  // A line lost after the answer came leaves the answer as it was.
  return m_lastFrame == FrameOutcome::kSent || m_lastFrame == FrameOutcome::kLost ? answer : RowAnswer{};
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
