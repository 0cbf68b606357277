// The journal: one line of JSON for every command that changed (or was to
// change) a unit, from the window and from dimlet-cli alike, appended to
// ${XDG_STATE_HOME:-~/.local/state}/dimlet/journal.jsonl (on Windows
// %LOCALAPPDATA%\Dimlet\journal.jsonl). DIMLET_JOURNAL=off turns it off;
// DIMLET_JOURNAL=PATH writes it elsewhere.
//
//   {"v":2,"time":"2026-12-08T20:15:05.123Z","host":"bench","user":"ana","technician":"Ana Lopes",
//    "program":"dimlet-cli","version":"1.4.0","line":{"device":"/dev/ttyUSB0","serial":"A10K3"},"unit":3,
//    "label":"Bar 3","command":"write","rows":[[1,0,128,255,40]],"outcome":"done"}
//
// "v" is the entry's schema: 2 for these; an entry without it was written
// before there was one (version 1, the same fields but "v" and "asked").
// `rows` holds [sequence, ch1, ch2, ch3, ch4] per row whose frame left whole,
// with the values as they went on the wire (0..255); a command with one value
// (set-address, set-highest) has "value" instead, the byte that went out.
// Where the values asked differ from those (a window's cell of 1000 goes
// out as 232), "asked" holds them as asked: the rows that differ, or the value. "technician" is
// there when the work was done in someone's name, beside the system's user; "read_again", when
// rows needed further tries (an answer in part or late, a read-back silent or other than
// written, which is then written again and counted), how many: an older reader skips it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/led_settings.h"

struct JournalRow {
  int sequence = 1;                           // 1..8
  std::array<int32_t, kChannels> channels{};  // CH1..CH4
  bool operator==(const JournalRow&) const = default;
};

// The schema of the entries this program writes.
inline constexpr int kJournalVersion = 2;

struct JournalEntry {
  std::string device;   // the line: a device path or a network address
  std::string serial;   // the adapter's serial number; empty when not known
  int unit = 0;
  std::string label;    // the unit's label in an installation file; empty: none
  std::string command;  // "write", "store", "run", "stop", "set-address", "set-highest"
  std::vector<JournalRow> rows;
  std::optional<int> value;
  // As asked, where that differs from what went on the wire: rows, or value.
  std::vector<JournalRow> askedRows;
  std::optional<int> askedValue;
  std::string outcome;  // as the program reported it
  std::string technician;  // who did the work, as named to the program; empty: not named
  int readAgain = 0;    // rows asked for (or written) again after a fault that passed
};

// An entry for `command` sent to `unit`, with no rows or value yet.
JournalEntry JournalFor(int unit, std::string label, std::string command, std::string outcome);

// Who writes, and where, as the journal's lines name them.
struct JournalWriter {
  std::string program;  // "dimlet", "dimlet-cli"
  std::string version;
  std::string host;
  std::string user;
};

// The 10 MB after which the journal is moved to journal.jsonl.1 (and .1 to
// .2, .2 to .3; the oldest is dropped): three old files are kept beside it.
inline constexpr int64_t kJournalRotateBytes = 10 * 1000 * 1000;
inline constexpr int kJournalKept = 3;

// One line of the journal, with its line end; `time` as
// "YYYY-MM-DDTHH:MM:SS.mmmZ". Every text is kept as JournalText has it and
// escaped as JSON, so that the line reads back whatever bytes it was given.
std::string JournalLineText(const JournalWriter& writer, const std::string& time, const JournalEntry& entry);

// `text` as the journal keeps it: UTF-8 as it is, each byte outside UTF-8 as
// the four characters \xHH ("/dev/ttyUSB\xff"). What is looked up in the
// journal (a device path) is compared in this form.
std::string JournalText(std::string_view text);

// A time in UTC as the journal writes it, and the time now.
std::string JournalTimeText(std::chrono::system_clock::time_point time);
std::string JournalTimeNow();

// The journal's file as the environment sets it: empty when turned off.
std::string JournalPath();
// The journal's usual place on this system (DIMLET_JOURNAL aside).
std::string DefaultJournalPath();
// This computer's name and the operator's login name; "-" when unknown.
std::string JournalHostName();
std::string JournalUserName();

// Appends `line` (one whole line) to the file at `path` in one write, under a
// lock that other writers of the same file take too, so that lines never
// interleave; moves the file aside first when the line would take it past
// `rotateBytes`. Makes the folder when it is missing. False with the reason
// in `error` ("writing the journal <path>: <system text>").
bool AppendJournalLine(const std::string& path, const std::string& line, int64_t rotateBytes, std::string* error);

// The journal of one program. Append never throws and never blocks longer
// than one line's write; a journal that cannot be written is told once (the
// first failure after a success, or the first of all) and the work goes on.
class CJournal {
 public:
  // Safe to call from several threads at once.
  // The path from JournalPath(), host and user from the system.
  CJournal(std::string program, std::string version);
  // For tests: another file (empty: off) and writer.
  CJournal(std::string path, JournalWriter writer);

  // Appends `entry`. Returns the words to tell the operator when the journal
  // could not be written and that has not been told yet; else empty.
  std::string Append(const JournalEntry& entry);
  // Whether the last Append wrote its line (or the journal is off).
  bool LastWritten() const { return !m_told; }

  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  JournalWriter m_writer;
  bool m_told = false;
  std::mutex m_mutex;
};
