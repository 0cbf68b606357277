// The six unit commands of CSerialLink: each builds its frame from the named
// constants of unit_protocol.h and sends it one byte per SendBytes call with
// the frame's pauses. The link below knows nothing of frames.
#include <algorithm>

#include "device/pause.h"
#include "device/serial_link.h"
#include "device/unit_protocol.h"

using namespace unit_protocol;

void CSerialLink::SendFrame(const uint8_t* bytes, int count, int pauseMs) {
  // Once a byte has not left within its bound, the rest of the frame stays
  // back: without its first bytes a unit would read it as another frame (a
  // channel value 0xA0..0xA7 looks like an address). The pauses are still
  // taken, so the command lasts as long as ever.
  bool stalled = false;
  for (int i = 0; i < count; ++i) {
    if (i > 0) PauseMs(pauseMs);
    if (stalled) continue;
    m_byteFailed = false;
    SendBytes(&bytes[i], 1);  // the count is not examined: failures are kept by the link
    stalled = m_byteFailed;
  }
}

void CSerialLink::WriteRow(int32_t unit, int32_t row, int32_t ch1, int32_t ch2, int32_t ch3, int32_t ch4) {
  const uint8_t frame[] = {UnitAddressByte(unit), kWriteLetter, LowByte(row), LowByte(ch1),
                           LowByte(ch2),          LowByte(ch3), LowByte(ch4)};
  SendFrame(frame, sizeof frame, kWritePauseMs);
}

void CSerialLink::ReadRow(int32_t unit, int32_t row, int32_t* ch1, int32_t* ch2, int32_t* ch3, int32_t* ch4) {
  StoreAnswer(ReadRowAnswer(unit, row, true), ch1, ch2, ch3, ch4);
}

CSerialLink::RowAnswer CSerialLink::ReadRowAnswer(int32_t unit, int32_t row, bool reportMissing) {
  // Whatever waits now is not this frame's answer (a late byte of an earlier
  // one, line noise); taken as CH1 it would shift the whole row.
  DiscardWaiting();

  const uint8_t frame[] = {UnitAddressByte(unit), kReadLetter, LowByte(row)};
  SendFrame(frame, sizeof frame, kReadPauseMs);

  RowAnswer answer;
  bool missing = false;
  for (int k = 0; k < kAnswerBytes; ++k) {
    PauseMs(kReadPauseMs);
    if (!missing) {
      if (ReadWaiting(&answer.channels[k], 1) == 1) {
        answer.arrived = k + 1;
        continue;
      }
      // The answer is out of step from here on: a byte arriving now could be
      // any channel's, so none of the rest is taken.
      answer.channels[k] = 0;
      missing = true;
    }
    if (reportMissing && m_onMissingAnswer) m_onMissingAnswer(k + 1);
  }
  // A late answer must not become the next read's first bytes.
  if (missing) DiscardWaiting();
  return answer;
}

void CSerialLink::StoreAnswer(const RowAnswer& answer, int32_t* ch1, int32_t* ch2, int32_t* ch3, int32_t* ch4) {
  int32_t* const destinations[kAnswerBytes] = {ch1, ch2, ch3, ch4};
  for (int k = 0; k < answer.arrived; ++k) *destinations[k] = answer.channels[k];  // zero-extended: 0..255
}

void CSerialLink::StoreOnUnit(int32_t unit) {
  const uint8_t frame[] = {UnitAddressByte(unit), kWriteLetter, kStoreLetter};
  SendFrame(frame, sizeof frame, kWritePauseMs);
}

void CSerialLink::SetRunState(int32_t unit, int32_t run) {
  const uint8_t frame[] = {UnitAddressByte(unit), kWriteLetter, run != 0 ? kRunLetter : kStopLetter};
  SendFrame(frame, sizeof frame, kWritePauseMs);
}

void CSerialLink::ChangeAddress(int32_t unit, int32_t newId) {
  // The new id goes out bare, without the address marking.
  const uint8_t frame[] = {UnitAddressByte(unit), kWriteLetter, kNewAddressLetter, LowByte(newId)};
  SendFrame(frame, sizeof frame, kWritePauseMs);
}

void CSerialLink::SetHighestSequence(int32_t unit, uint8_t value) {
  const uint8_t frame[] = {UnitAddressByte(unit), kWriteLetter, kHighestLetter,
                           std::min(value, kHighestSequenceLimit)};
  SendFrame(frame, sizeof frame, kWritePauseMs);
}
