// Appending a line to the journal on POSIX: the journal's folder locked
// (flock, see folder_lock.h) while its size is looked at and it is moved
// aside, and the line written by one write() to a file opened O_APPEND, so
// that a writer that went without the lock still never splits a line. A
// write the disk cut short is taken back: the file holds whole lines only.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "settings/file_support.h"
#include "settings/folder_lock.h"
#include "settings/journal.h"

bool AppendJournalLine(const std::string& path, const std::string& line, int64_t rotateBytes, std::string* error) {
  const std::string folder = FolderOf(path);
  if (!MakeFolders(folder, error)) {
    *error = "writing the journal " + path + ": " + *error;
    return false;
  }
  const FolderLock lock(folder);
  struct stat info {};
  if (lock.Held() && stat(path.c_str(), &info) == 0 && info.st_size + static_cast<int64_t>(line.size()) > rotateBytes) {
    // The oldest goes; a name that cannot be moved leaves the journal growing.
    for (int kept = kJournalKept; kept >= 1; --kept) {
      const std::string from = kept == 1 ? path : path + "." + std::to_string(kept - 1);
      std::rename(from.c_str(), (path + "." + std::to_string(kept)).c_str());
    }
  }
  // Never waits to open: a FIFO by the journal's name (nobody reading it)
  // would hold the command, with its line open, past every stop signal.
  const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) {
    *error = Reason("writing the journal " + path, errno);
    return false;
  }
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    *error = "writing the journal " + path + ": not a regular file";
    return false;
  }
  // A line cut short by a crash, or by an older writer on a full disk, ends
  // here first, so that this line is not glued to it and lost with it.
  std::string text = line;
  char last = '\n';
  if (info.st_size > 0 && pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') text.insert(0, 1, '\n');
  ssize_t written = -1;
  do {
    written = write(fd, text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  const int err = written < 0 ? errno : ENOSPC;
  if (written > 0 && written < static_cast<ssize_t>(text.size())) {
    // A disk that filled during the write took part of the line: it goes
    // again, so that the file holds whole lines only. The other writers
    // wait for the lock. Should the cut stay, the next line still starts on
    // a line of its own (above).
    const off_t end = lseek(fd, 0, SEEK_CUR);
    if (end >= written) {
      [[maybe_unused]] const int failed = ftruncate(fd, end - written);
    }
  }
  close(fd);
  if (written == static_cast<ssize_t>(text.size())) return true;
  *error = Reason("writing the journal " + path, err);
  return false;
}
