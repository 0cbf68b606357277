// The process-wide settings record: port number, channel-count word, highest
// sequence number and the 8 x 4 table of light sequences, plus the text line
// by which one row is shown in the sequence list.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int kSequenceRows = 8;
constexpr int kChannels = 4;

// Eight rows ("Sequent 1".."Sequent 8") of four channel intensities (CH1..CH4),
// row-major. Cells are not clamped: a value loaded from the profile is held as
// stored, even outside 0..255.
struct SequenceTable {
  std::array<int32_t, kSequenceRows * kChannels> cells{};

  // Row and column are not checked; callers pass 0..7 and 0..3.
  int32_t Cell(int row, int col) const { return cells[row * kChannels + col]; }
  void SetCell(int row, int col, int32_t value) { cells[row * kChannels + col] = value; }
  int32_t* CellPtr(int row, int col) { return &cells[row * kChannels + col]; }
  std::array<int32_t, kChannels> Row(int row) const;

  void FillAll(int32_t value);
  void FillRow(int row, int32_t value);
};

struct LedSettings {
  int32_t comPort = 0;
  int32_t numOfChannel = 0;  // saved, never loaded; nothing sets it
  int32_t maxSq = 0;
  SequenceTable seq;
};

// The one record of the process, zero-filled until the profile is loaded.
LedSettings& TheLedSettings();

// "SEQ- %2d. 1=%4d, 2=%4d, 3=%4d, 4=%4d" for row (shown as row + 1).
std::string ListLine(const SequenceTable& table, int row);
// The eight lines of rows 0..7, in row order.
std::vector<std::string> ListLines(const SequenceTable& table);
