// Reading a small text file whole, and making folders.
#include "settings/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr off_t kLargestProfile = off_t{64} << 20;

std::string Reason(const std::string& doing, int err) { return doing + ": " + std::strerror(err); }

}  // namespace

ReadOutcome ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  bytes->clear();
  // O_NONBLOCK so that a FIFO put where the profile should be cannot hang us.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return ReadOutcome::kMissing;
    *error = Reason("reading " + path, errno);
    return ReadOutcome::kFailed;
  }
  struct stat info {};
  ReadOutcome outcome = ReadOutcome::kRead;
  if (fstat(fd, &info) != 0) {
    *error = Reason("reading " + path, errno);
    outcome = ReadOutcome::kFailed;
  } else if (S_ISDIR(info.st_mode)) {
    *error = Reason("reading " + path, EISDIR);
    outcome = ReadOutcome::kFailed;
  } else if (!S_ISREG(info.st_mode)) {
    *error = "reading " + path + ": not a regular file";
    outcome = ReadOutcome::kFailed;
  } else if (info.st_size > kLargestProfile) {
    *error = Reason("reading " + path, EFBIG);
    outcome = ReadOutcome::kFailed;
  }
  if (outcome == ReadOutcome::kRead) {
    bytes->reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
      ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) {
        bytes->append(buffer, static_cast<size_t>(got));
        if (bytes->size() > static_cast<size_t>(kLargestProfile)) {
          *error = Reason("reading " + path, EFBIG);
          outcome = ReadOutcome::kFailed;
          break;
        }
        continue;
      }
      if (got == 0) break;
      if (errno == EINTR) continue;
      *error = Reason("reading " + path, errno);
      outcome = ReadOutcome::kFailed;
      break;
    }
  }
  close(fd);
  return outcome;
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
