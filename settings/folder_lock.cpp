// The folder lock on POSIX: flock on the folder itself (see folder_lock.h).
#include "settings/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

struct FolderLock::Lock {
  int fd;
  ~Lock() { close(fd); }  // also drops the lock
};

FolderLock::FolderLock(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  std::unique_ptr<Lock> lock(new Lock{fd});
  const auto until = std::chrono::steady_clock::now() + kLongestWait;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > until) return;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  m_held = std::move(lock);
}

FolderLock::~FolderLock() = default;
