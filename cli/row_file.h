// The row file: sequences of units as comma-separated text, the form
// dimlet-cli reads rows from and writes them in.
//
//   # a comment; blank lines are skipped
//   unit,sequence,ch1,ch2,ch3,ch4
//   3,1,0,128,255,40
//
// The header names the columns, in any order and any case. `sequence` is 1..8
// as the window shows it ("Sequent 1".."Sequent 8"), `unit` 0..7, each
// channel 0..255. Without the unit column the rows name no unit; the caller
// says which. A `line` column names the line of each row, a Com entry
// ("Com 2") or a device path: one file for an installation. A `label` column
// (with the unit column) names each unit in words ("Stage left wash"): UTF-8
// text, in double quotes when it holds a comma, a quote (doubled) or a '#',
// the same on every row of a unit. Files are written with the columns in the
// order "line,unit,sequence,ch1,ch2,ch3,ch4,label".
// Lines "# site: NAME", "# company: NAME" and "# technician: NAME" name the
// installation, the company that puts it in and the person who does.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/led_settings.h"

struct FileRow {
  int line = 0;       // 1-based line of the file the row was read from
  int lineName = -1;  // index into RowFile::lineNames, or -1 in a file without the line column
  int unit = -1;      // 0..7, or -1 in a file without the unit column
  int sequence = 1;   // 1..8
  std::array<int32_t, kChannels> channels{};  // CH1..CH4, each 0..255
  std::string label;  // the unit's label; empty when the file has none for it
};

struct FileProblem {
  int line = 0;  // 1-based; 0 when the problem is the file as a whole
  std::string what;
};

struct RowFile {
  bool hasLineColumn = false;
  bool hasUnitColumn = false;
  bool hasLabelColumn = false;
  std::string site;                   // from a "# site: NAME" line; empty when there is none
  std::string company;                // from "# company: NAME"
  std::string technician;             // from "# technician: NAME"
  std::vector<std::string> lineNames; // the lines the rows name, in order of appearance; Com entries as "Com N"
  std::vector<FileRow> rows;          // in file order; empty when problems were found
  std::vector<FileProblem> problems;  // in line order; empty when the file is sound
  size_t unlistedProblems = 0;        // problems found beyond the listed ones
};

// The most problems a file's reading lists; the rest are only counted.
inline constexpr size_t kListedProblems = 40;
// The longest label, in bytes.
inline constexpr size_t kLongestLabel = 120;
// The most lines one file may name.
inline constexpr size_t kMostLines = 64;

// Reads a whole row file. Problems are listed, one per line at most, so that
// a person can mend the file in one go (up to kListedProblems); a file with
// any problem yields no rows. Any bytes are accepted as input, and memory
// stays within a small multiple of the text; a UTF-8 byte order mark and CR
// LF, LF or CR line ends are allowed.
RowFile ReadRowFile(std::string_view text);

// The text of `rows` in this same form, with a header line; with
// `withUnitColumn` false the unit column is left out. With `lineNames` the
// line column is written, each row's lineName indexing it. The label column
// is written when a row has a label (and the unit column is).
std::string RowFileText(const std::vector<FileRow>& rows, bool withUnitColumn,
                        const std::vector<std::string>* lineNames = nullptr);
