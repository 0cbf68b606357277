// The journal's view of a command's frames, from the bytes that left.
#include "device/wire_journal.h"

#include "device/unit_protocol.h"

namespace {

using namespace unit_protocol;

constexpr size_t kWhatByte = 2;    // after A and 'W': a row, or a command letter
constexpr size_t kValueByte = 3;   // the value of 'J' and 'Q'

}  // namespace

WireJournal WireJournalOf(std::span<const CSerialLink::FrameRecord> records) {
  WireJournal journal;
  for (const CSerialLink::FrameRecord& record : records) {
    if (!record.LeftWhole()) {
      if (!record.NoneLeft()) ++journal.unknown;
      continue;
    }
    ++journal.whole;
    const Frame& frame = record.frame;
    if (frame.bytes[1] != kWriteLetter) continue;
    const uint8_t what = frame.bytes[kWhatByte];
    if (what < kRowsPerUnit && frame.size == WriteRowFrame(0, 0, 0, 0, 0, 0).size) {
      JournalRow row;
      row.sequence = what + 1;
      for (size_t k = 0; k < kAnswerBytes; ++k) row.channels[k] = frame.bytes[kWhatByte + 1 + k];
      journal.rows.push_back(row);
    } else if ((what == kNewAddressLetter || what == kHighestLetter) && frame.size > kValueByte) {
      journal.value = frame.bytes[kValueByte];
    }
  }
  return journal;
}

const char* FrameLeftWords(const CSerialLink::FrameRecord& record) {
  if (record.NoneLeft()) return "not sent";
  if (!record.LeftWhole()) return "did not leave whole";
  return record.outcome == CSerialLink::FrameOutcome::kSent ? "sent" : "sent, not confirmed";
}
