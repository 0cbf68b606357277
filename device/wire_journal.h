// What a command's frames put on the wire, as the journal keeps it: read
// from the link's records of those frames, never from the values the command
// was asked to send.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "device/serial_link.h"
#include "settings/journal.h"

struct WireJournal {
  // Each write-row frame that left whole, with its row and values as they
  // went out (0..255).
  std::vector<JournalRow> rows;
  // The value byte of the last frame with one that left whole (a new
  // address, a highest sequence).
  std::optional<int> value;
  int whole = 0;     // frames that left whole
  int unknown = 0;   // frames of which some bytes, or a byte not known, may have left
};

WireJournal WireJournalOf(std::span<const CSerialLink::FrameRecord> records);

// How far the frame of `record` got, as the journal and JSON say it: "sent",
// "sent, not confirmed" (it left whole, but its echo or answer was not as
// it should be), "did not leave whole" (some of it left, or a byte that may
// have) or "not sent".
const char* FrameLeftWords(const CSerialLink::FrameRecord& record);
