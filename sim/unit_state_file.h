// The file that keeps the units' stored rows across runs of the simulator,
// one text line per row:  unit ADDRESS row ROW = CH1 CH2 CH3 CH4
#pragma once

#include <map>
#include <string>

#include "sim/sim_line.h"

namespace sim {

using StoredRows = UnitRows;

class UnitStateFile {
 public:
  explicit UnitStateFile(std::string path);

  const std::string& Path() const { return m_path; }

  // Reads the file, replacing the entries held. A file that does not exist
  // yet counts as empty. False with *error (naming the file and line) when it
  // cannot be read, is not a regular file (a FIFO is refused at once, not
  // waited on) or a line is not of the form above with values in range; the
  // entries are then left empty.
  bool Load(std::string* error);

  // The stored rows per unit address; rows a file leaves out are 128.
  const std::map<int, StoredRows>& Entries() const { return m_entries; }
  void Set(int address, const StoredRows& rows);

  // Writes every entry to a temporary file of a unique name beside the file
  // and renames it over the file, so a crash leaves the old or the new file,
  // never half of one; a link at the path stays a link and its target is
  // written. False with *error when any step fails; the old file is then kept.
  bool Save(std::string* error) const;

 private:
  std::string m_path;
  std::map<int, StoredRows> m_entries;
};

}  // namespace sim
