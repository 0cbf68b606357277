// Temporary folders for tests.
#include "support/temp_folder.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

namespace testsupport {

TempFolder::TempFolder() {
  std::string pattern = testing::TempDir() + "dimlet-test-XXXXXX";
  if (mkdtemp(pattern.data())) {
    m_path = pattern;
  } else {
    ADD_FAILURE() << "cannot make a temporary folder from " << pattern;
  }
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
