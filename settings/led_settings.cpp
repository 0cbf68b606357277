// The settings record and the list line of one row.
#include "settings/led_settings.h"

#include <cstdio>

std::array<int32_t, kChannels> SequenceTable::Row(int row) const {
  std::array<int32_t, kChannels> values{};
  for (int col = 0; col < kChannels; ++col) values[col] = Cell(row, col);
  return values;
}

void SequenceTable::FillAll(int32_t value) { cells.fill(value); }

void SequenceTable::FillRow(int row, int32_t value) {
  for (int col = 0; col < kChannels; ++col) SetCell(row, col, value);
}

LedSettings& TheLedSettings() {
  static LedSettings settings;
  return settings;
}

std::string ListLine(const SequenceTable& table, int row) {
  // Widest case: four values of 11 characters each plus the fixed text.
  char line[96];
  std::snprintf(line, sizeof line, "SEQ- %2d. 1=%4d, 2=%4d, 3=%4d, 4=%4d", row + 1,
                static_cast<int>(table.Cell(row, 0)), static_cast<int>(table.Cell(row, 1)),
                static_cast<int>(table.Cell(row, 2)), static_cast<int>(table.Cell(row, 3)));
  return line;
}

std::vector<std::string> ListLines(const SequenceTable& table) {
  std::vector<std::string> lines;
  lines.reserve(kSequenceRows);
  for (int row = 0; row < kSequenceRows; ++row) lines.push_back(ListLine(table, row));
  return lines;
}
