// Keeps the settings record in the profile file, an INI text that a person can
// read and edit: section [Settings\<name>], one key per value.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "settings/led_settings.h"
#include "settings/atomic_file.h"
#include "settings/port_map.h"
#include "settings/profile_path.h"
#include "settings/profile_text.h"

class CProfileStore {
 public:
  // The store works on the file at `path`; it keeps no state between calls
  // beyond what the last call found (Replaced(), Ports(), Saved()). Each call
  // returns false on failure with the reason in `error`: "<what was being
  // done>: <system text>".
  explicit CProfileStore(std::string path = DefaultProfilePath());

  // Fills `settings` from section "Settings\<name>" (defaults for keys that are
  // missing or not a 32-bit integer) and writes every value back, in one
  // atomic write and only when that changes the file. The record is filled
  // even when the file cannot be read or written. A file that exists but
  // cannot be read (a directory, no permission) is not written to. False
  // when the file could not be read or written back. Replaced() then lists
  // the keys whose written values were not readable, in key order,
  // Ports() holds the device map of the file as read, and ReadFailure() why
  // the file could not be read, when that was the failure.
  bool Load(const std::string& name, LedSettings& settings, std::string* error);

  // Writes the record's 35 keys into the file, read afresh, keeping everything
  // else in it in place; keys new to the file are added at the end of the
  // section, in their fixed order. The file is replaced atomically with one
  // write: on failure (including a file that exists but cannot be read) the
  // old file stays whole and false is returned. A file changed by someone
  // else between the read and the write is read and merged again, so their
  // change is kept. Ports() then holds the device map of the file as merged.
  bool Save(const std::string& name, const LedSettings& settings, std::string* error);

  // As Save, but writes only the keys in which `settings` differs from
  // `base` (the record as this program last read or saved the file), and
  // those the file lacks or holds unreadable: every other key keeps what the
  // file holds now, so a change another program saved meanwhile stays.
  // After success Saved() holds the record as the file now holds it, and
  // ChangedElsewhere() the keys both changed (this program's value written).
  // `takenIn` as for SaveChangesToProfile; KeptElsewhere() then lists the
  // keys whose later value in the file was kept.
  bool SaveChanges(const std::string& name, const LedSettings& settings, const LedSettings& base,
                   std::string* error, const std::vector<bool>& takenIn = {});

  // Fills `settings` from the file as it is now, as Load does, and writes
  // nothing. False when the file exists but cannot be read whole.
  bool Read(const std::string& name, LedSettings& settings, std::string* error);

  // Sets one key of any section in the file, read afresh, keeping everything
  // else in it in place, with the same atomic write as Save. The value must
  // fit on one line and keep no blanks at its ends (the reader trims them);
  // otherwise nothing is written and false is returned.
  bool SaveValue(const std::string& section, const std::string& key, const std::string& value, std::string* error);
  // Several keys of one section in one such write: all or none.
  bool SaveValues(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values,
                  std::string* error);

  const std::vector<ReplacedValue>& Replaced() const { return m_replaced; }
  const CPortMap& Ports() const { return m_ports; }
  // Why the last Load could not read the file ("reading <path>: <system
  // text>"): its record and map are then the defaults. Empty when it was read.
  const std::string& ReadFailure() const { return m_readFailure; }
  const LedSettings& Saved() const { return m_changes.saved; }
  const std::vector<std::string>& ChangedElsewhere() const { return m_changes.changedElsewhere; }
  const std::vector<std::string>& KeptElsewhere() const { return m_changes.keptElsewhere; }

 private:
  // Reads the file, applies `edit` and writes it back, reading and merging
  // again while someone else changes the file in between.
  bool Merge(const std::function<void(CIniDocument&)>& edit, std::string* error);
  bool Write(std::string_view text, const FileStamp& read, bool* changedMeanwhile, std::string* error);

  std::string m_path;
  std::vector<ReplacedValue> m_replaced;
  CPortMap m_ports;
  std::string m_readFailure;
  SavedChanges m_changes;
};

// Maps Com `port` to `device` in the [Ports] section of the profile at
// `profilePath`, through the store's atomic save: everything else in
// the file stays. False with *error set when the path cannot be kept there
// (not absolute nor a network address, a line break, blanks at its ends) or
// the file cannot be written.
// `ports`, when given, receives the device map of the file as written.
bool SetPortDevicePath(const std::string& profilePath, int port, const std::string& device, std::string* error,
                       CPortMap* ports = nullptr);

// Keeps Com `port`'s line options in the profile at `profilePath`, in one
// atomic save, as SetPortDevicePath does. False with *error set on failure.
bool SetPortLineOptions(const std::string& profilePath, int port, const LineOptions& options, std::string* error,
                        CPortMap* ports = nullptr);
