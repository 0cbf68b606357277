// Reading the profile without writing it back: the same keys and defaults as
// the window's load, from a document that is never saved.
#include "cli/cli_profile.h"

#include "cli/cli_arguments.h"

#include "settings/ini_document.h"
#include "settings/port_map.h"
#include "settings/profile_keys.h"
#include "settings/profile_path.h"
#include "settings/profile_value.h"
#include "settings/whole_file.h"

namespace {

constexpr const char* kStoreName = "LED";

// The record as the window's load would fill it, from `text`.
LedSettings SettingsFrom(const std::string& text) {
  const CIniDocument profile(text);
  const std::string section = ProfileSection(kStoreName);
  LedSettings settings;
  for (const ProfileKey& key : ProfileKeys()) {
    if (!key.loaded) continue;
    const std::optional<std::string_view> stored = profile.Value(section, key.name);
    int32_t value = key.defaultValue;
    if (stored) value = ParseProfileInt(*stored).value_or(key.defaultValue);
    SetKeyValue(settings, key, value);
  }
  return settings;
}

}  // namespace

std::string CliProfilePath(const std::string& given) {
  return given.empty() ? ProfilePathFor("dimlet") : given;
}

PortChoice ChoosePort(const std::string& profilePath, const std::string& port) {
  PortChoice choice;
  if (!port.empty() && port.find('/') != std::string::npos) {
    choice.path = port;
    choice.name = port;
    return choice;
  }
  if (!port.empty()) {
    choice.comEntry = ComEntryNumber(port);
  } else {
    // A profile that cannot be read counts as empty, as it does for the window.
    std::string text;
    std::string error;
    ReadWholeFile(profilePath, &text, &error);
    choice.comEntry = SettingsFrom(text).comPort;
  }
  choice.path = PortDevicePath(profilePath, choice.comEntry);
  choice.name = "Com " + std::to_string(choice.comEntry) + " (" + choice.path + ")";
  return choice;
}

bool ProfileRows(const std::string& profilePath, std::vector<FileRow>* rows, std::vector<FileProblem>* problems) {
  std::string text;
  std::string error;
  switch (ReadWholeFile(profilePath, &text, &error)) {
    case ReadOutcome::kRead:
      break;
    case ReadOutcome::kMissing:
      // Its defaults are not something an operator tuned: sending them to
      // units would overwrite their rows with 128s.
      problems->push_back({0, "no such file: there are no sequences to send"});
      return false;
    case ReadOutcome::kFailed:
      problems->push_back({0, error});
      return false;
  }
  const LedSettings settings = SettingsFrom(text);
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
