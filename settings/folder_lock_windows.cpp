// The folder lock on Windows (see folder_lock.h). Windows locks byte ranges
// of files, not folders: the lock is the first byte of a file that lives in
// the folder for this purpose alone and stays empty.
#include "settings/folder_lock.h"

#include <thread>

#include "settings/windows_text.h"

namespace {

constexpr wchar_t kLockFileName[] = L"\\.dimlet-lock";

}  // namespace

struct FolderLock::Lock {
  HANDLE file;
  ~Lock() { CloseHandle(file); }  // also drops the lock
};

FolderLock::FolderLock(const std::string& folder) {
  const std::wstring path = windows_text::Wide(folder) + kLockFileName;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  auto lock = std::make_unique<Lock>(file);
  const auto until = std::chrono::steady_clock::now() + kLongestWait;
  for (;;) {
    OVERLAPPED at{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
    if (GetLastError() != ERROR_LOCK_VIOLATION || std::chrono::steady_clock::now() > until) return;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  m_held = std::move(lock);
}

FolderLock::~FolderLock() = default;
