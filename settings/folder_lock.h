// Programs of this kind saving the same profile take turns: each holds a lock
// on the profile's folder from its read to its rename, so two instances never
// race each other's merges. Editors take no part; a changed file is found
// and merged again all the same. A folder that cannot be locked (missing yet,
// or held too long by a program that hangs) is used without the lock.
// folder_lock.cpp locks the folder itself (flock); folder_lock_windows.cpp a
// file in it (LockFileEx), since Windows locks no folder.
#pragma once

#include <chrono>
#include <memory>
#include <string>

class FolderLock {
 public:
  // Waits up to two seconds for the lock; without it the caller goes on.
  explicit FolderLock(const std::string& folder);
  ~FolderLock();  // lets go of the lock
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool Held() const { return m_held != nullptr; }

  static constexpr auto kLongestWait = std::chrono::seconds(2);

 private:
  struct Lock;  // the system's open handle
  std::unique_ptr<Lock> m_held;
};
