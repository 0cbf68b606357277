// Reading a small text file whole, telling whether a write would replace
// one, and making folders: POSIX (whole_file_windows.cpp is Windows' half).
#include "settings/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "settings/file_support.h"

namespace {

constexpr off_t kLargestProfile = off_t{64} << 20;

// Far beyond anything the program writes: refused, and so never written back.
std::string TooLarge(const std::string& path) {
  return Reason("reading " + path, EFBIG) + " (over 64 MiB; left as it is)";
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

FileStamp StampOf(const struct stat& info) {
  FileStamp stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.modified = info.st_mtim;
  return stamp;
}

bool WouldReplace(const std::string& path, const std::string& kept) {
  struct stat target {};
  struct stat file {};
  const bool targetThere = stat(path.c_str(), &target) == 0;
  const bool keptThere = stat(kept.c_str(), &file) == 0;
  if (targetThere && keptThere) {
    return S_ISREG(file.st_mode) && target.st_dev == file.st_dev && target.st_ino == file.st_ino;
  }
  if (targetThere || keptThere) return false;
  // Absolute first: a relative name has no part that is there to resolve.
  const auto place = [](const std::string& name, std::error_code* failed) {
    const std::filesystem::path absolute = std::filesystem::absolute(name, *failed);
    return *failed ? std::filesystem::path() : std::filesystem::weakly_canonical(absolute, *failed);
  };
  std::error_code failed;
  const std::filesystem::path a = place(path, &failed);
  if (failed || a.empty()) return false;
  const std::filesystem::path b = place(kept, &failed);
  return !failed && a == b;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, FileStamp* stamp, std::string* error) {
  bytes->clear();
  if (stamp) *stamp = FileStamp{};
  // O_NONBLOCK so that a FIFO put where the profile should be cannot hang us.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    *error = Reason("reading " + path, errno);
    return false;
  }
  struct stat info {};
  bool whole = true;
  if (fstat(fd, &info) != 0) {
    *error = Reason("reading " + path, errno);
    whole = false;
  } else if (S_ISDIR(info.st_mode)) {
    *error = Reason("reading " + path, EISDIR);
    whole = false;
  } else if (!S_ISREG(info.st_mode)) {
    *error = "reading " + path + ": not a regular file";
    whole = false;
  } else if (info.st_size > kLargestProfile) {
    *error = TooLarge(path);
    whole = false;
  }
  if (whole) {
    // A little room past the end, so that a profile's keys can be added to
    // the text without moving it (and holding it twice for a moment).
    bytes->reserve(static_cast<size_t>(info.st_size) + 4096);
    char buffer[65536];
    for (;;) {
      ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) {
        bytes->append(buffer, static_cast<size_t>(got));
        if (bytes->size() > static_cast<size_t>(kLargestProfile)) {
          *error = TooLarge(path);
          whole = false;
          break;
        }
        continue;
      }
      if (got == 0) break;
      if (errno == EINTR) continue;
      *error = Reason("reading " + path, errno);
      whole = false;
      break;
    }
  }
  // Taken after the read: a change that landed while it ran is then a change
  // after the stamp too, and shows as a mismatch later, never as a match.
  struct stat after {};
  if (stamp && whole && fstat(fd, &after) == 0) {
    *stamp = StampOf(after);
    if (!SameStamp(*stamp, StampOf(info))) stamp->modified = timespec{-1, 0};
  }
  close(fd);
  return whole;
}

bool MakeFolders(const std::string& folder, std::string* error) {
  if (folder.empty()) return true;
  struct stat info {};
  if (stat(folder.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    *error = Reason("creating folder " + folder, ENOTDIR);
    return false;
  }
  size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash), error)) {
    return false;
  }
  // Another process may have made it meanwhile; that is as good.
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = Reason("creating folder " + folder, errno);
    return false;
  }
  return true;
}
