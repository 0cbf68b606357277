// Reading the profile without writing it back: the same keys and defaults as
// the window's load, from a document that is never saved.
#include "cli/cli_profile.h"

#include "cli/cli_arguments.h"

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
    if (!ReadWholeFile(profilePath, &text, nullptr, &error)) text.clear();
    choice.comEntry = SettingsFrom(text).comPort;
  }
  choice.path = PortDevicePath(profilePath, choice.comEntry);
  choice.name = "Com " + std::to_string(choice.comEntry) + " (" + choice.path + ")";
  return choice;
}

bool ProfileRows(const std::string& profilePath, std::vector<FileRow>* rows, std::vector<FileProblem>* problems) {
  std::string text;
  std::string error;
  FileStamp stamp;
  if (!ReadWholeFile(profilePath, &text, &stamp, &error)) {
    problems->push_back({0, error});
    return false;
  }
  if (!stamp.exists) {
    // Its defaults are not something an operator tuned: sending them to
    // units would overwrite their rows with 128s.
    problems->push_back({0, "no such file: there are no sequences to send"});
    return false;
  }
  std::vector<ReplacedValue> replaced;
  const LedSettings settings = SettingsFrom(text, &replaced);
  for (const ReplacedValue& value : replaced) {
    // The window would send its default for it; here the operator said which
    // sequences to send, so a value that cannot be read is a problem.
    if (value.key.rfind("SEQ ", 0) == 0) {
      problems->push_back({0, value.key + " is \"" + value.text + "\", not a number"});
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
