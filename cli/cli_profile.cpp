// Reading the profile without writing it back: the same keys and defaults as
// the window's load, from a document that is never saved.
#include "cli/cli_profile.h"

#include "cli/printable.h"
#include "cli/line_name.h"
#include "device/network_address.h"
#include "settings/ini_document.h"
#include "settings/port_map.h"
#include "settings/profile_keys.h"
#include "settings/profile_path.h"
#include "settings/profile_text.h"
#include "settings/whole_file.h"

namespace {

// The record as the window's load would fill it, from `text`, and the keys
// whose written values could not be read. The document is changed in memory
// only and never written anywhere.
LedSettings SettingsFrom(const std::string& text, std::vector<ReplacedValue>* replaced = nullptr) {
  CIniDocument profile(text);
  LedSettings settings;
  std::vector<ReplacedValue> unread = LoadFromProfile(kStoreName, profile, settings);
  if (replaced) *replaced = std::move(unread);
  return settings;
}

bool HasSequenceValues(const std::string& text) {
  const CIniDocument profile(text);
  const std::string section = ProfileSection(kStoreName);
  for (const ProfileKey& key : ProfileKeys()) {
    if (key.field == nullptr && profile.Value(section, key.name)) return true;
  }
  return false;
}

}  // namespace

CliChecked ReadCliProfile(const std::string& given, CliProfile* profile) {
  profile->path = given.empty() ? ProfilePathFor("dimlet") : given;
  std::string reason;
  FileStamp stamp;
  if (!ReadWholeFile(profile->path, &profile->text, &stamp, &reason)) {
    profile->text.clear();
    // One named on purpose must be read. The window's own that cannot be read
    // counts as empty, as it does for the window, until a Com entry or its
    // sequences are asked of it: a device path given needs no profile.
    if (!given.empty()) return UsageFailure("--profile: " + reason);
    const std::string reading = "reading " + profile->path + ": ";
    profile->unreadable = reason.rfind(reading, 0) == 0 ? reason.substr(reading.size()) : reason;
    return {};
  }
  profile->exists = stamp.exists;
  if (!stamp.exists && !given.empty()) return UsageFailure("--profile " + given + ": no such file");
  return {};
}

bool PortChoice::Network() const { return IsNetworkAddress(path); }

PortChoice ChoosePort(const CliProfile& profile, const std::string& port) {
  PortChoice choice;
  if (!port.empty() && (port.find('/') != std::string::npos || (IsWholeDeviceName(port) && !ComEntryNumber(port)))) {
    choice.path = port;
    choice.label = port;
    choice.name = port;
    return choice;
  }
  if (!port.empty()) {
    choice.comEntry = ComEntryNumber(port);
  } else {
    choice.comEntry = SettingsFrom(profile.text).comPort;
    if (choice.comEntry < 1 || choice.comEntry > kComEntries) choice.comEntry = 1;
  }
  const PortEntry entry = CPortMap(CIniDocument(profile.text)).Entry(choice.comEntry);
  choice.path = entry.path;
  choice.options = entry.options;
  choice.unread = entry.unread;
  choice.label = ComEntryName(choice.comEntry);
  choice.name = choice.label + " (" + choice.path + ")";
  return choice;
}

CliChecked ComEntriesKnown(const CliProfile& profile, const std::vector<PortChoice>& lines) {
  if (profile.unreadable.empty()) return {};
  for (const PortChoice& line : lines) {
    if (line.comEntry == 0) continue;
    return UsageFailure(line.label + ": which line it stands for is not known: the profile " + profile.path +
                        " could not be read (" + profile.unreadable +
                        "); a device path or a network line given with --port needs no profile");
  }
  return {};
}

std::string UnreadWords(const ReplacedValue& value) {
  return value.key + " \"" + Printable(value.text) + "\" in the profile is not understood: its default is used";
}

bool ProfileRows(const CliProfile& profile, std::vector<FileRow>* rows, std::vector<FileProblem>* problems) {
  if (!profile.unreadable.empty()) {
    problems->push_back({0, "could not be read: " + profile.unreadable});
    return false;
  }
  if (!profile.exists) {
    problems->push_back({0, "no such file: there are no sequences to send"});
    return false;
  }
  if (!HasSequenceValues(profile.text)) {
    problems->push_back({0, "holds no sequences ([" + ProfileSection(kStoreName) + "] has no SEQ values)"});
    return false;
  }
  std::vector<ReplacedValue> replaced;
  const LedSettings settings = SettingsFrom(profile.text, &replaced);
  for (const ReplacedValue& value : replaced) {
    // The window would send its default for it; here the operator said which
    // sequences to send, so a value that cannot be read is a problem.
    if (value.key.rfind("SEQ ", 0) == 0) {
      problems->push_back({0, value.key + " is \"" + Printable(value.text) + "\", not a number"});
    }
  }
  rows->clear();
  for (int r = 0; r < kSequenceRows; ++r) {
    FileRow row;
    row.sequence = r + 1;
    for (int c = 0; c < kChannels; ++c) {
      const int32_t value = settings.seq.Cell(r, c);
      if (value < 0 || value > 255) {
        problems->push_back({0, "SEQ " + std::to_string(r) + "\\CH " + std::to_string(c) + " (sequence " +
                                    std::to_string(r + 1) + ", ch" + std::to_string(c + 1) + ") is " +
                                    std::to_string(value) + ", outside 0-255"});
      }
      row.channels[c] = value;
    }
    rows->push_back(row);
  }
  return problems->empty();
}
