// A read-only folder and a full disk for tests on Windows: neither is made
// here. A folder's read-only attribute does not stop new files in it, and a
// small disk needs a mount; each says why, for the test's skip.
#include "support/write_fixtures.h"

#include <windows.h>

namespace testsupport {

bool MarkReadOnly(const std::string& path, bool readOnly) {
  return SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL) != 0;
}

ReadOnlyFolder::ReadOnlyFolder(std::string path) : m_path(std::move(path)) {
  m_whyNot = "Windows has no folder that refuses new files by its permissions alone";
}

void ReadOnlyFolder::Undo() {}

SmallDisk::SmallDisk(std::string path, unsigned long) : m_path(std::move(path)) {
  m_whyNot = "no small disk is mounted on Windows";
}

SmallDisk::~SmallDisk() = default;

void SmallDisk::Fill() {}

void SmallDisk::Free() {}

}  // namespace testsupport
