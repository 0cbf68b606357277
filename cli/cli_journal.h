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
  // The journal at JournalPath(), as dimlet-cli `version`.
  explicit CliJournal(const std::string& version);

  // Appends `entry` for the line on `device` (its serial number looked up
  // once per device). Returns what to tell the operator when the journal
  // could not be written, the first time only; else empty.
  std::string Append(const std::string& device, JournalEntry entry);

 private:
  CJournal m_journal;
  std::map<std::string, std::string> m_serials;  // device -> adapter serial number ("" when none)
  std::mutex m_mutex;
};
