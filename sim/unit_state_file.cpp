// Reading and writing the simulator's stored-rows file.
#include "sim/unit_state_file.h"

#include <sstream>

#include "settings/atomic_file.h"
#include "settings/whole_file.h"
#include "sim/frame_scanner.h"

namespace sim {
namespace {

StoredRows FreshRows() {
  StoredRows rows;
  for (auto& row : rows) row.fill(kFreshIntensity);
  return rows;
}

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

// One "unit A row R = a b c d" line; false when it is anything else.
bool ParseLine(const std::string& line, int* address, int* row, RowValues* values) {
  std::istringstream in(line);
  std::string unitWord, rowWord, equals;
  if (!(in >> unitWord >> *address >> rowWord >> *row >> equals)) return false;
  if (unitWord != "unit" || rowWord != "row" || equals != "=") return false;
  if (!InRange(*address, 0, frame::kAddressMask) || !InRange(*row, 0, kRows - 1)) return false;
  for (int& v : *values) {
    if (!(in >> v) || !InRange(v, 0, 255)) return false;
  }
  std::string rest;
  return !(in >> rest);
}

}  // namespace

UnitStateFile::UnitStateFile(std::string path) : m_path(std::move(path)) {}

bool UnitStateFile::Load(std::string* error) {
  m_entries.clear();
  // Read without blocking and only as a regular file: a FIFO or a device
  // named here would otherwise hold the start for ever.
  std::string text;
  std::string reason;
  FileStamp stamp;
  if (!ReadWholeFile(m_path, &text, &stamp, &reason)) {
    if (error) *error = "cannot use the state file: " + reason;
    return false;
  }
  if (!stamp.exists) return true;
  std::map<int, StoredRows> entries;
  std::istringstream in(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    int address = 0, row = 0;
    RowValues values{};
    if (!ParseLine(line, &address, &row, &values)) {
      if (error) {
        *error = m_path + " line " + std::to_string(lineNumber) +
                 ": expected \"unit 0-7 row 0-7 = four values 0-255\"";
      }
      return false;
    }
    auto it = entries.try_emplace(address, FreshRows()).first;
    it->second[static_cast<size_t>(row)] = values;
  }
  m_entries = std::move(entries);
  return true;
}

void UnitStateFile::Set(int address, const StoredRows& rows) { m_entries[address] = rows; }

bool UnitStateFile::Save(std::string* error) const {
  std::ostringstream text;
  text << "# Stored rows of simulated units: unit ADDRESS row ROW = CH1 CH2 CH3 CH4\n";
  for (const auto& [address, rows] : m_entries) {
    for (size_t r = 0; r < rows.size(); ++r) {
      text << "unit " << address << " row " << r << " =";
      for (int v : rows[r]) text << ' ' << v;
      text << '\n';
    }
  }
  // The profile's own writer: a temporary file of a unique name that no
  // link placed beforehand can redirect, synced and renamed over the file.
  std::string reason;
  if (!WriteFileAtomically(m_path, text.str(), &reason)) {
    if (error) *error = "cannot keep " + m_path + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace sim
