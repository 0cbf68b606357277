// Reading a small text file whole, telling whether a write would replace one,
// and making the folders a file is to live in.
// Like every fallible function of settings/, these return false on failure
// with the reason in `error`: "<what was being done>: <system text>".
#pragma once

#include <time.h>

#include <cstdint>
#include <string>

// What tells one version of a file from another: which file it is, its size
// and its modification time to the nanosecond.
struct FileStamp {
  bool exists = false;
  uint64_t device = 0;  // the volume
  uint64_t inode = 0;   // the file on it
  int64_t size = 0;
  timespec modified{};
};

// Reads the regular file at `path` (following symbolic links) whole into
// `bytes`. No file at the path (nor at a dangling link's target) is no
// failure: `bytes` is then empty and `stamp->exists` false. A directory, a
// device, a file that may not be read or one larger than 64 MiB fails, with
// "reading <path>: <system text>" in `error` and in `bytes` what could be read,
// maybe nothing. `stamp`, when given, is set to the file as it was read.
bool ReadWholeFile(const std::string& path, std::string* bytes, FileStamp* stamp, std::string* error);

bool SameStamp(const FileStamp& a, const FileStamp& b);

// Whether writing to `path` would replace the regular file `kept`: both name
// one such file (through any link), or neither is there yet and they name
// the same place. A device or a pipe both reach is no file to replace.
bool WouldReplace(const std::string& path, const std::string& kept);

// The folder that holds `path`: "." for a bare name, the root for a name in
// the root.
std::string FolderOf(const std::string& path);

// Creates `folder` and any missing parents, new ones with mode 0700. False
// with the reason in `error` when a folder cannot be made.
bool MakeFolders(const std::string& folder, std::string* error);
