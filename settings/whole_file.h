// Reading a small text file whole, and making the folders a file is to live in.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <string>

enum class ReadOutcome {
  kRead,     // `bytes` holds the whole file
  kMissing,  // no file at the path (nor a dangling link's target): `bytes` is empty
  kFailed,   // `bytes` holds what could be read, maybe nothing; `error` says why
};

// What tells one version of a file from another: which file it is, its size
// and its modification time to the nanosecond.
struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
};

// Reads the regular file at `path` (following symbolic links). A directory, a
// device, a file that may not be read or one larger than 64 MiB fails with the
// reason in `error`: "reading <path>: <system text>". `stamp`, when given, is
// set to the file as it was read (not existing for kMissing).
ReadOutcome ReadWholeFile(const std::string& path, std::string* bytes, std::string* error,
                          FileStamp* stamp = nullptr);

// The stamp of an open or named file as fstat/stat reported it.
FileStamp StampOf(const struct stat& info);
bool SameStamp(const FileStamp& a, const FileStamp& b);

// Creates `folder` and any missing parents, new ones with mode 0700. Returns
// false with the reason in `error` when a folder cannot be made.
bool MakeFolders(const std::string& folder, std::string* error);
