// dimlet-cli's side of the journal (settings/journal.h): each command that
// changes a unit appends its line with the line's device and its adapter's
// serial number, from whichever line's thread sent it.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "settings/journal.h"

class CliJournal {
 public:
  // The journal at JournalPath(), as dimlet-cli `version`; every entry names
  // `technician` (empty: none) beside the system's user.
  CliJournal(const std::string& version, std::string technician);

  // The technician an installation file names, unless one is named already
  // (--technician wins over the file). Before the lines start.
  void NameTechnician(const std::string& technician) {
    if (m_technician.empty()) m_technician = technician;
  }

  // Appends `entry` for the line on `device` (its serial number looked up
  // once per device). Returns what to tell the operator when the journal
  // could not be written, the first time only; else empty.
  std::string Append(const std::string& device, JournalEntry entry);

 private:
  CJournal m_journal;
  std::string m_technician;
  std::map<std::string, std::string> m_serials;  // device -> adapter serial number ("" when none)
  std::mutex m_mutex;
};
