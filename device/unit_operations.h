// Operations on whole units, built on the unit commands of CSerialLink: all
// rows written or read with the pauses the units need between rows, the line
// scanned for units that answer, and rows read back and compared.
//
// Plain C++ for any caller: the window, the command-line program and tests.
// Nothing here talks to the operator; progress and answers are handed back.
//
// Each operation stops at the first frame that did not go out whole (a held
// line, an echo fault, a line lost) and leaves link.LastFrame() saying so;
// callers check it after each call. On a link that is not open they go on,
// sending nothing, with every pause taken.
//
// A caller may give a row more tries after a fault that passes (Retries):
// an answer in part or one that came whole but late, on a line otherwise
// quiet, is asked for again once the longest answer wait has passed since
// its frame. Bytes no unit sent (stray bytes, echo faults) are never tried
// away: they end the operation as before, whatever tries are left.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "device/serial_link.h"
#include "device/unit_protocol.h"

namespace unit_operations {

// Between rows: after each write-row command, and once more after the last;
// after each read-row command.
inline constexpr int kPauseAfterWriteRowMs = 10;
inline constexpr int kPauseAfterReadRowMs = 20;

// One row to send or compare: its index (0..7) and CH1..CH4. Values go out as
// their low 8 bits, as WriteRow sends them.
struct UnitRow {
  int32_t row = 0;
  std::array<int32_t, unit_protocol::kAnswerBytes> values{};
};

// Called after each row with how many are done (1..total) and the total.
using RowProgress = std::function<void(int done, int total)>;
// Called after each row read, once the pause after it showed nothing amiss.
using RowAnswered = std::function<void(int32_t row, const CSerialLink::RowAnswer& answer)>;

// Rows 0..7 of a unit, for callers that hold them as eight rows of four.
std::vector<int32_t> AllRows();

// WriteRow for each of `rows` in order, pausing 10 ms after each and a
// further 10 ms after the last. Nothing is checked or read.
void WriteRows(CSerialLink& link, int32_t unit, const std::vector<UnitRow>& rows,
               const RowProgress& progress = {});

// Why a row was tried again.
enum class RetryCause {
  kAnswerInPart,  // 1..3 bytes of its answer came, and nothing else
  kAnswerLate,    // its whole answer came after the answer wait (kAnswerLate)
  kNoAnswer,      // silent, just after it was written (VerifyOptions::justWritten)
  kDiffered,      // read back other than written: written again (justWritten)
};
// Called before each further try of a row, with why it is tried again.
using RowRetried = std::function<void(int32_t row, RetryCause cause)>;

// How many more tries a row gets after a fault that passes (0: one try, as
// the window has it), and who hears of each.
struct Retries {
  int count = 0;
  RowRetried retried;
};

// What a caller of ReadRows may want to hear while it reads.
struct ReadHooks {
  RowProgress progress;        // after each row
  RowAnswered answered;        // each answer, once the pause after it is over
  bool reportMissing = false;  // missing channels also go to the link's
                               // missing-answer handler, as ReadRow reports
                               // them (each try's, with retries)
  Retries retries;             // a row silent is not tried again: silence is an answer
};

// A read-row command for each of `rows` in order, pausing 20 ms after each.
// The answers come back in the order of `rows`; a row tried again hands back
// its last try's answer.
std::vector<CSerialLink::RowAnswer> ReadRows(CSerialLink& link, int32_t unit, const std::vector<int32_t>& rows,
                                             const ReadHooks& hooks = {});

// The addresses 0..7 that answer a read-row of row 0, ascending; 20 ms after
// each read as between rows. An address that answers in part is asked once
// more, and counts only if it answers again.
std::vector<int32_t> ScanUnits(CSerialLink& link, const RowProgress& progress = {});

// A channel whose value read back is not what was expected.
struct RowDifference {
  int32_t unit = 0;
  int32_t row = 0;      // 0..7
  int channel = 0;      // 1..4
  int32_t expected = 0; // as it went out on the wire: 0..255
  std::optional<int32_t> found;  // nothing: the unit did not answer this channel
};

struct VerifyOptions {
  RowProgress progress;  // after each row, once its last try is read
  Retries retries;
  // The rows were just written by this caller: a row that stays silent is
  // read again, and one read back whole but other than written is written
  // again (WriteRows, with its pauses) and read back; each takes a try.
  bool justWritten = false;
};

// Reads each of `rows` back (as ReadRows) and lists every channel that
// differs from the expected value's low byte, in row and channel order. A
// channel that did not arrive is listed with no value found.
std::vector<RowDifference> VerifyRows(CSerialLink& link, int32_t unit, const std::vector<UnitRow>& rows,
                                      const VerifyOptions& options = {});

}  // namespace unit_operations
