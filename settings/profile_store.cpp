// Loading and saving the settings record in the profile file.
#include "settings/profile_store.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <random>
#include <thread>

#include "settings/file_support.h"
#include "settings/folder_lock.h"
#include "settings/ini_document.h"
#include "settings/profile_text.h"
#include "settings/whole_file.h"

namespace {

// A file that changes this often while being saved is being written by a
// program in a loop; the save gives up rather than race it for ever.
constexpr int kMergeAttempts = 200;

// Before merging again: a pause of random length, so that two programs saving
// in step (two instances) fall out of step and each gets its turn.
void PauseBeforeMergingAgain(int attempt) {
  thread_local std::minstd_rand random(std::random_device{}() ^
                                       static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  const int longest = std::min(attempt, 10) * 1000;
  std::this_thread::sleep_for(std::chrono::microseconds(random() % static_cast<unsigned>(longest + 1)));
}

std::string KeptChangingReason(const std::string& path) {
  return "replacing " + path + ": it kept changing while being saved";
}

}  // namespace

CProfileStore::CProfileStore(std::string path) : m_path(std::move(path)) {}

bool CProfileStore::Load(const std::string& name, LedSettings& settings, std::string* error) {
  for (int attempt = 1;; ++attempt) {
    const FolderLock turn(FolderOf(m_path));
    std::string bytes;
    FileStamp stamp;
    const bool read = ReadWholeFile(m_path, &bytes, &stamp, error);

    CIniDocument profile(std::move(bytes));
    m_replaced = LoadFromProfile(name, profile, settings);
    m_ports = CPortMap(profile);

    // Writing back a file that was not read whole would lose its unread part.
    m_readFailure = read ? std::string() : *error;
    if (!read) return false;
    if (stamp.exists && !profile.Changed()) return true;
    bool changedMeanwhile = false;
    if (Write(profile.TextView(), stamp, &changedMeanwhile, error)) return true;
    if (!changedMeanwhile) return false;
    if (attempt == kMergeAttempts) {
      *error = KeptChangingReason(m_path);
      return false;
    }
    PauseBeforeMergingAgain(attempt);
  }
}

bool CProfileStore::Save(const std::string& name, const LedSettings& settings, std::string* error) {
  return Merge([&](CIniDocument& profile) { SaveToProfile(name, profile, settings); }, error);
}

bool CProfileStore::SaveChanges(const std::string& name, const LedSettings& settings, const LedSettings& base,
                                std::string* error, const std::vector<bool>& takenIn) {
  return Merge(
      [&](CIniDocument& profile) { m_changes = SaveChangesToProfile(name, profile, settings, base, takenIn); },
      error);
}

bool CProfileStore::Read(const std::string& name, LedSettings& settings, std::string* error) {
  std::string bytes;
  if (!ReadWholeFile(m_path, &bytes, nullptr, error)) return false;
  CIniDocument profile(std::move(bytes));
  m_replaced = LoadFromProfile(name, profile, settings);
  m_ports = CPortMap(profile);
  return true;
}

bool CProfileStore::SaveValue(const std::string& section, const std::string& key, const std::string& value,
                              std::string* error) {
  return SaveValues(section, {{key, value}}, error);
}

bool CProfileStore::SaveValues(const std::string& section,
                               const std::vector<std::pair<std::string, std::string>>& values, std::string* error) {
  for (const auto& [key, value] : values) {
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      *error = "\"" + key + "\" not saved: its value cannot hold a line break";
      return false;
    }
    if (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                           value.back() == '\t')) {
      *error = "\"" + key + "\" not saved: its value cannot start or end with a blank";
      return false;
    }
  }
  return Merge(
      [&](CIniDocument& profile) {
        for (const auto& [key, value] : values) profile.Set(section, key, value);
      },
      error);
}

bool CProfileStore::Merge(const std::function<void(CIniDocument&)>& edit, std::string* error) {
  for (int attempt = 1;; ++attempt) {
    const FolderLock turn(FolderOf(m_path));
    // Read afresh, so that what a person edited while the program ran is kept.
    std::string bytes;
    FileStamp stamp;
    if (!ReadWholeFile(m_path, &bytes, &stamp, error)) return false;

    CIniDocument profile(std::move(bytes));
    edit(profile);
    m_ports = CPortMap(profile);
    bool changedMeanwhile = false;
    if (Write(profile.TextView(), stamp, &changedMeanwhile, error)) return true;
    if (!changedMeanwhile) return false;
    if (attempt == kMergeAttempts) {
      *error = KeptChangingReason(m_path);
      return false;
    }
    PauseBeforeMergingAgain(attempt);
  }
}

bool CProfileStore::Write(std::string_view text, const FileStamp& read, bool* changedMeanwhile, std::string* error) {
  *changedMeanwhile = false;
  return MakeFolders(FolderOf(m_path), error) && ReplaceFileIfUnchanged(m_path, text, read, changedMeanwhile, error);
}

bool SetPortDevicePath(const std::string& profilePath, int port, const std::string& device, std::string* error,
                       CPortMap* ports) {
  // Relative to what? Each program that reads the map starts somewhere else.
  if (!device.empty() && !IsWholeDeviceName(device) && LineScheme(device).empty()) {
    *error = "\"" + device + "\" not saved: " + WholeDeviceNameRule();
    return false;
  }
  CProfileStore store(profilePath);
  if (!store.SaveValue("Ports", ComEntryName(port), device, error)) return false;
  if (ports) *ports = store.Ports();
  return true;
}

bool SetPortLineOptions(const std::string& profilePath, int port, const LineOptions& options, std::string* error,
                        CPortMap* ports) {
  CProfileStore store(profilePath);
  const std::vector<std::pair<std::string, std::string>> values = {
      {EchoKey(port), std::string(EchoModeText(options.echo))},
      {AnswerWaitKey(port), AnswerWaitText(options.answerWaitMs)},
      {Rs485Key(port), options.rs485 ? "on" : "off"},
  };
  if (!store.SaveValues("Ports", values, error)) return false;
  if (ports) *ports = store.Ports();
  return true;
}
