// A line looked at before its units are commissioned: which addresses
// answer, how late each unit's answers come, what else the line carries, the
// answer wait that would take every answer, and the addresses two units seem
// to share. Everything is read from the link's records of its frames.
//
// Plain C++ for any caller; nothing here talks to the operator.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "device/serial_link.h"
#include "device/unit_operations.h"

namespace line_check {

// How often each row of a unit that answers is read: two reads tell a shared
// address, a third lets the median mean something.
inline constexpr int kReadsPerRow = 3;

using Micros = std::chrono::microseconds;

// One read-row frame as the link's record of it tells it.
struct Reading {
  int32_t unit = 0;
  int32_t row = 0;  // 0..7
  // What came after the frame's echo: the answer, and anything beyond it
  // that was taken before the link dropped what followed a fault.
  std::vector<uint8_t> bytes;
  // From the frame's last byte leaving to the first of `bytes` being taken
  // (for an answer past the answer wait, to when it began to come, in whole
  // ms as the link tells it); nothing when no byte came. The link takes a byte that is already there
  // only once the protocol's pause after the frame is over, so an answer that
  // came sooner reads as about kReadPauseMs.
  std::optional<Micros> late;
  CSerialLink::FrameOutcome outcome = CSerialLink::FrameOutcome::kNotOpen;
  CSerialLink::Lateness lateness;  // for kAnswerLate
};

// The reading of `record`, a read-row frame to `unit`, `row`; `echoes`:
// whether the line returned the frame's bytes ahead of the answer.
Reading ReadingOf(int32_t unit, int32_t row, const CSerialLink::FrameRecord& record, bool echoes);

// Whether a frame's outcome ends the check: a line held, lost or echoing
// wrongly cannot be looked at further. Stray bytes and late answers are what
// the check is there to see, and it goes on past them.
bool EndsCheck(CSerialLink::FrameOutcome outcome);

struct Survey {
  std::vector<int32_t> present;     // the addresses that answered, ascending
  std::vector<Reading> scanReads;   // every frame of the scan
  std::vector<Reading> rowReads;    // kReadsPerRow reads of each row of each unit present
  // The fault that ended the check early (EndsCheck); nothing when it ran to its end.
  std::optional<CSerialLink::FrameOutcome> stoppedBy;
  // The unit whose rows were not read because `goOn` said stop; -1: none.
  int32_t stoppedBefore = -1;
};

// On an open link: asks each address for row 0 as a scan does (an address
// that brought fewer than four bytes is asked once more and counts only if
// bytes come again), then reads each row of each address that answered
// kReadsPerRow times, pausing after each read as between rows. Unlike a
// scan it goes on past stray bytes and late answers. `scanned` hears each
// address asked, `read` each row read; `goOn`, asked before each unit's
// rows, ends the check there when it says false.
struct Hooks {
  unit_operations::RowProgress scanned;
  unit_operations::RowProgress read;
  std::function<bool()> goOn;
};
Survey Run(CSerialLink& link, const Hooks& hooks = {});

// The least, median and most of a unit's lateness over its reads that
// brought bytes.
struct Spread {
  Micros least{0};
  Micros median{0};
  Micros most{0};
  int reads = 0;
};

// Two reads of one row that brought different bytes: what a unit sends
// twice is the same, and two units answering at once garble each other
// differently each time, as their timings differ. Bytes cut short where one
// read has fewer are not a difference (a missing byte is no second unit).
// Two units whose answers coincide exactly and who hold equal rows read as
// one, and cannot be told.
struct SharedSign {
  int32_t row = 0;
  std::vector<uint8_t> first;
  std::vector<uint8_t> then;
};

struct UnitFindings {
  int32_t unit = 0;
  std::optional<Spread> late;         // nothing when no read brought bytes
  std::optional<SharedSign> shared;
  int strayReads = 0;                 // reads that brought bytes no unit sent in answer
  std::optional<CSerialLink::Lateness> answeredLate;  // the latest answer past the answer wait
};

// The findings for each unit of `rowReads`, in the order their units first appear.
std::vector<UnitFindings> Judge(const std::vector<Reading>& rowReads);

// The answer wait that lets through an adapter whose latency timer is
// `latencyTimerMs` (-1: none or unknown) and takes every answer whose first
// byte came `mostLate` after its frame, with a few ms to spare as the link
// names one; never below the protocol's window. An answer taken within a
// millisecond of the protocol's pause came while the link was not looking
// and needs no more than it. 0 when even the longest answer wait would not do.
int32_t AdvisedAnswerWait(int32_t latencyTimerMs, std::optional<Micros> mostLate);

}  // namespace line_check
