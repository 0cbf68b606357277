// The handover report of an installation: what each unit of each line holds
// beside what the installation file plans for it, as one self-contained HTML
// page (inline styles and SVG, nothing fetched, printable on A4) or as JSON.
// Pure functions of the facts: no files, no lines.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "settings/led_settings.h"

// A unit's eight sequences of four channels; -1 where the plan names no value
// or the unit sent none.
using UnitCells = std::array<std::array<int, kChannels>, kSequenceRows>;
inline constexpr UnitCells kNoCells = [] {
  UnitCells cells{};
  for (auto& row : cells) row.fill(-1);
  return cells;
}();

enum class UnitVerdict { kAsPlanned, kDiffers, kNoAnswer, kNotInPlan, kNotRead };

struct ReportUnit {
  int address = 0;
  std::string label;
  bool planned = false;   // the installation file names it
  bool answered = false;  // it sent every channel asked of it
  std::string notRead{};  // why it was not asked, or its answer not heard out (the line failed, a stop); empty when it was
  int readAgain = 0;      // rows asked for again after an answer in part or late
  UnitCells plan = kNoCells;
  UnitCells held = kNoCells;
};

struct ReportLine {
  std::string name;    // as the file names it: "Com 2", "/dev/ttyUSB0"
  std::string device;  // the device path or network line
  // What the adapter and the link tell of the line; empty or nothing where
  // not known (the line could not be opened).
  std::string adapter;       // maker and product
  std::string usbId;         // "0403:6001"
  std::string serialNumber;
  std::optional<bool> echoes;
  std::optional<int> answerWaitMs;
  std::string answerWaitWhy;  // why it is what it is ("the adapter holds bytes 16 ms"); empty: the protocol's own
  std::string notes;   // what the link noted of the line: RS-485 mode, a network line's round trip
  std::string fault;   // why the line could not be worked; empty when it was
  std::vector<ReportUnit> units;  // ascending by address
};

struct SiteFacts {
  std::string site;        // the installation's name
  std::string company;     // who puts it in; empty when not named
  std::string technician;  // who did the work; empty when not named
  std::string localTime;   // "2026-12-08 21:15 CET (+0100)"; the UTC time on a computer kept on UTC
  std::string utcTime;     // "2026-12-08 20:15 UTC"
  std::string version;     // dimlet-cli's
  std::string host;
  std::string user;        // the system's user that ran the report
  std::vector<ReportLine> lines;
};

// A unit's verdict: not read (never asked, or the line failed while it
// answered: nothing is known of it), differs (a planned cell it sent is not
// the plan's, though other rows may not have come), no answer (asked and
// silent, or cut short with nothing it sent differing), not in the plan
// (answers, not planned), or as planned.
UnitVerdict VerdictOf(const ReportUnit& unit);
// The sequences (1-8) whose answer did not come whole from a unit that was
// read and sent part of what was asked; empty for a unit that answered
// whole, sent nothing, or was not read.
std::vector<int> SequencesNotAnswered(const ReportUnit& unit);
// Those sequences in words, "sequences 7-8 did not answer"; empty when none.
std::string SequencesNotAnsweredWords(const ReportUnit& unit);
// The verdict as the page and the JSON name it: "as planned", "differs",
// "no answer", "not in the plan", "not read".
const char* VerdictWords(UnitVerdict verdict);

// The page. Every text of the facts is escaped: a label is shown as written,
// never taken as markup. Printed, every unit's card names its line, a line's
// heading stays with its first unit, and each page ends with the site.
std::string HandoverHtml(const SiteFacts& facts);
// The same facts for scripts, as JSON Lines: the report's own object, then
// per line one object and one per unit, then a summary of the verdicts with
// the run's exit status `exitStatus`.
std::string HandoverJsonLines(const SiteFacts& facts, int exitStatus);
