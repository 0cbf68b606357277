// Reading a small text file whole, and making the folders a file is to live in.
#pragma once

#include <string>

enum class ReadOutcome {
  kRead,     // `bytes` holds the whole file
  kMissing,  // no file at the path (nor a dangling link's target): `bytes` is empty
  kFailed,   // `bytes` holds what could be read, maybe nothing; `error` says why
};

// Reads the regular file at `path` (following symbolic links). A directory, a
// device, a file that may not be read or one larger than 64 MiB fails with the
// reason in `error`: "reading <path>: <system text>".
ReadOutcome ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);

// Creates `folder` and any missing parents, new ones with mode 0700. Returns
// false with the reason in `error` when a folder cannot be made.
bool MakeFolders(const std::string& folder, std::string* error);
