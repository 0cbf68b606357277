// Temporary folders for tests.
#include "support/temp_folder.h"

#include <algorithm>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

namespace testsupport {

// A new folder of a random name; one that is there already is never taken.
TempFolder::TempFolder() {
  std::random_device random;
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string path;
  for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
    path = testing::TempDir() + "dimlet-test-";
    for (int i = 0; i < 6; ++i) path += kLetters[random() % (sizeof kLetters - 1)];
    std::error_code failed;
    if (std::filesystem::create_directory(path, failed)) {
      std::filesystem::permissions(path, std::filesystem::perms::owner_all, failed);
      m_path = path;
    }
  }
  if (m_path.empty()) ADD_FAILURE() << "cannot make a temporary folder like " << path;
}

TempFolder::~TempFolder() {
  if (m_path.empty()) return;
  // A test that failed half-way may have left a folder it made read-only;
  // give write access back so that everything below can go.
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> TempFolder::Names() const {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(m_path, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testsupport
