// Loading and saving the settings record in the profile file.
#include "settings/profile_store.h"

#include "settings/atomic_file.h"
#include "settings/ini_document.h"
#include "settings/profile_text.h"
#include "settings/whole_file.h"

namespace {

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

}  // namespace

CProfileStore::CProfileStore(std::string path) : m_path(std::move(path)) {}

bool CProfileStore::Load(const std::string& name, LedSettings& settings) {
  m_error.clear();
  std::string before;
  const ReadOutcome read = ReadWholeFile(m_path, &before, &m_error);

  const std::string after = LoadFromProfileText(name, before, settings);

  // Writing back a file that was not read whole would lose its unread part.
  if (read == ReadOutcome::kFailed) return false;
  if (read == ReadOutcome::kRead && after == before) return true;
  return Write(after);
}

bool CProfileStore::Save(const std::string& name, const LedSettings& settings) {
  m_error.clear();
  // Read afresh, so that what a person edited while the program ran is kept.
  std::string before;
  if (ReadWholeFile(m_path, &before, &m_error) == ReadOutcome::kFailed) return false;

  return Write(SaveToProfileText(name, before, settings));
}

bool CProfileStore::SaveValue(const std::string& section, const std::string& key, const std::string& value) {
  m_error.clear();
  if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    m_error = "\"" + key + "\" not saved: its value cannot hold a line break";
    return false;
  }
  if (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                         value.back() == '\t')) {
    m_error = "\"" + key + "\" not saved: its value cannot start or end with a blank";
    return false;
  }
  std::string before;
  if (ReadWholeFile(m_path, &before, &m_error) == ReadOutcome::kFailed) return false;
  CIniDocument profile(before);
  profile.Set(section, key, value);
  return Write(profile.Text());
}

bool CProfileStore::Write(const std::string& text) {
  return MakeFolders(FolderOf(m_path), &m_error) && WriteFileAtomically(m_path, text, &m_error);
}
