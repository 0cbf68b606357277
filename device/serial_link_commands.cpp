// The six unit commands of CSerialLink: each sends the frame unit_protocol.h
// builds for it. The read-row command then takes its answer, one byte after
// each pause, waiting for a byte as long as the line's answer wait allows.
#include <algorithm>

#include "device/line_transport.h"
#include "device/pause.h"
#include "device/serial_link.h"
#include "device/unit_protocol.h"

using namespace unit_protocol;

void CSerialLink::WriteRow(int32_t unit, int32_t row, int32_t ch1, int32_t ch2, int32_t ch3, int32_t ch4) {
  SendFrame(WriteRowFrame(unit, row, ch1, ch2, ch3, ch4));
}

void CSerialLink::ReadRow(int32_t unit, int32_t row, int32_t* ch1, int32_t* ch2, int32_t* ch3, int32_t* ch4) {
  StoreAnswer(ReadRowAnswer(unit, row, true), ch1, ch2, ch3, ch4);
}

CSerialLink::RowAnswer CSerialLink::ReadRowAnswer(int32_t unit, int32_t row, bool reportMissing) {
  // Whatever waits now is not this frame's answer (a late byte of an earlier
  // one, line noise); taken as CH1 it would shift the whole row.
  DiscardWaiting();
  const Frame frame = ReadRowFrame(unit, row);
  bool sent = SendFrame(frame, /*lastEchoLater=*/true) == FrameOutcome::kSent;

  RowAnswer answer;
  bool missing = !sent;  // a frame that did not go out whole has no answer to take
  const auto wait = std::chrono::milliseconds(AnswerWaitMs());
  for (int k = 0; k < kAnswerBytes; ++k) {
    const auto pauseStart = LineClock::now();
    PauseMs(kReadPauseMs);
    // The frame's last echo comes back in the first answer pause, ahead of
    // the answer; it is waited for as long as an answer byte would be.
    if (k == 0 && sent && !TakeEchoes(pauseStart + wait)) {
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
  // On a line driven as one without echo, an answer that begins with the
  // frame's own bytes is its echo: a unit holding its own address byte, 'R'
  // and the row's index in that row is far less likely than a wrong setting,
  // and stored as the row the echo would overwrite the operator's values.
  const std::span<const uint8_t> sentBytes = frame.Bytes();
  if (m_echoes == false && answer.arrived >= static_cast<int>(sentBytes.size()) &&
      std::equal(sentBytes.begin(), sentBytes.end(), answer.channels.begin())) {
    m_lastFrame = FrameOutcome::kEchoUnexpected;
    answer = {};
    missing = true;
  }
  // A late answer must not become the next read's first bytes.
  if (missing) DiscardWaiting();
  return answer;
}

void CSerialLink::StoreAnswer(const RowAnswer& answer, int32_t* ch1, int32_t* ch2, int32_t* ch3, int32_t* ch4) {
  int32_t* const destinations[kAnswerBytes] = {ch1, ch2, ch3, ch4};
  for (int k = 0; k < answer.arrived; ++k) *destinations[k] = answer.channels[k];  // zero-extended: 0..255
}

void CSerialLink::StoreOnUnit(int32_t unit) { SendFrame(StoreFrame(unit)); }

void CSerialLink::SetRunState(int32_t unit, int32_t run) { SendFrame(RunStateFrame(unit, run)); }

void CSerialLink::ChangeAddress(int32_t unit, int32_t newId) { SendFrame(ChangeAddressFrame(unit, newId)); }

void CSerialLink::SetHighestSequence(int32_t unit, uint8_t value) { SendFrame(HighestSequenceFrame(unit, value)); }
