// Replacing a file atomically on Windows (see atomic_file.h; atomic_file.cpp
// is POSIX's half). The new bytes go to a temporary file beside the target,
// flushed to disk, then take the target's place: MoveFileExW with
// write-through for a new file, ReplaceFileW over an old one. A merged text
// replaces the old file only once that file, held against change, has been
// checked and stepped aside (PutOverExpected). Links are not followed: the
// path itself is replaced.
#include <algorithm>
#include <random>

#include "settings/atomic_file.h"
#include "settings/file_support.h"
#include "settings/windows_files.h"

using windows_text::Reason;
using windows_text::Wide;

namespace {

constexpr int kTemporaryAttempts = 8;

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Joined(const std::string& folder, const std::string& name) {
  return folder.ends_with('\\') || folder.ends_with('/') ? folder + name : folder + "\\" + name;
}

// A writer keeps its temporary file open, not to be deleted, until it has
// flushed it; a file of our naming that can be deleted was left by a writer
// that died.
void RemoveLeftTemporaries(const std::string& folder, const std::string& prefix) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(Wide(Joined(folder, prefix + "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = windows_text::Utf8(found.cFileName);
    if (name.size() == prefix.size() + 6 && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      DeleteFileW(Wide(Joined(folder, name)).c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

HANDLE CreateTemporary(const std::string& prefixPath, std::string* tempPath, std::string* error) {
  thread_local std::minstd_rand random(std::random_device{}());
  constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  DWORD failure = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    std::string path = prefixPath;
    for (int i = 0; i < 6; ++i) path += kLetters[random() % (sizeof kLetters - 1)];
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      *tempPath = path;
      return file;
    }
    failure = GetLastError();
    if (failure != ERROR_FILE_EXISTS) break;
  }
  *error = Reason("creating a temporary file in " + FolderOf(prefixPath), failure);
  return INVALID_HANDLE_VALUE;
}

bool FillTemporary(HANDLE file, const std::string& tempPath, std::string_view bytes, std::string* error) {
  while (!bytes.empty()) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
    if (!WriteFile(file, bytes.data(), chunk, &done, nullptr)) {
      *error = Reason("writing " + tempPath, GetLastError());
      return false;
    }
    bytes.remove_prefix(done);
  }
  if (!FlushFileBuffers(file)) {
    *error = Reason("writing " + tempPath + " to disk", GetLastError());
    return false;
  }
  return true;
}

// Removes the old file stepped aside under the backup name. A file whose
// read-only attribute was set after the check before the save would refuse
// deletion and stay behind, read-only itself.
void RemoveStepAside(const std::wstring& backup) {
  SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(backup.c_str());
}

// Another program reading the file holds it open for a moment, and Windows
// moves no file that is open without sharing its deletion (an editor, a
// virus scanner): the move is tried again for a while before it fails.
constexpr int kMoveAttempts = 100;
constexpr DWORD kMoveRetryMs = 10;

bool MeansHeldOpen(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
         error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

// ReplaceFileW, tried again while the file is held open. False with the
// last error in *error.
bool ReplaceHeldFile(const std::wstring& target, const std::wstring& replacement, const std::wstring& backup,
                     DWORD* error) {
  for (int attempt = 0;; ++attempt) {
    if (ReplaceFileW(target.c_str(), replacement.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
      return true;
    }
    *error = GetLastError();
    if (*error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      // The old file went to the backup name and the new one did not take
      // its place: the old one goes back.
      MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
      return false;
    }
    if (!MeansHeldOpen(*error) || attempt + 1 >= kMoveAttempts) return false;
    Sleep(kMoveRetryMs);
  }
}

bool MoveHeldFile(const std::wstring& from, const std::wstring& to, DWORD flags, DWORD* error) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
    *error = GetLastError();
    if (!MeansHeldOpen(*error) || attempt + 1 >= kMoveAttempts) return false;
    Sleep(kMoveRetryMs);
  }
}

// Opens the file at `path` so that it can be read and renamed but not
// written, nor replaced by another program's rename, while held; tried again
// while another program has it open for writing.
HANDLE HoldFile(const std::wstring& path, DWORD* error) {
  for (int attempt = 0;; ++attempt) {
    const HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    *error = GetLastError();
    if (!MeansHeldOpen(*error) || attempt + 1 >= kMoveAttempts) return INVALID_HANDLE_VALUE;
    Sleep(kMoveRetryMs);
  }
}

// Puts the temporary file over the file `expected` stamps, checking that file
// before anything of ours is shown: it is held (see HoldFile) and checked,
// stepped aside under the backup name and checked to be the one that stepped
// aside, and only then does ours take the name, where a file another program
// put there meanwhile wins. *changed is set whenever the file was not the
// one merged: an edit landing at any moment is merged again, never lost.
bool PutOverExpected(const std::string& tempPath, const std::string& target, const FileStamp& expected,
                     bool* changed, std::string* error) {
  const std::wstring to = Wide(target);
  const std::wstring backup = Wide(tempPath + ".old");
  DWORD failure = ERROR_SUCCESS;
  const HANDLE old = HoldFile(to, &failure);
  if (old == INVALID_HANDLE_VALUE) {
    *changed = failure == ERROR_FILE_NOT_FOUND;
    if (!*changed) *error = Reason("replacing " + target, failure);
    return false;
  }
  const FileStamp held = StampOfHandle(old);
  bool done = false;
  bool oldAside = false;  // the merged file under the backup name, to be removed
  if (!SameStamp(held, expected)) {
    *changed = true;
  } else if (!MoveHeldFile(to, backup, MOVEFILE_WRITE_THROUGH, &failure)) {
    *changed = failure == ERROR_FILE_NOT_FOUND;
    if (!*changed) *error = Reason("replacing " + target, failure);
  } else if (!SameStamp(StampOfPath(windows_text::Utf8(backup)), held)) {
    // Another program's file took the name between the hold and the move:
    // it goes back, and is merged. Should the name be taken yet again, it
    // stays under the backup name rather than be lost.
    *changed = true;
    MoveFileExW(backup.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
  } else if (MoveHeldFile(Wide(tempPath), to, MOVEFILE_WRITE_THROUGH, &failure)) {
    done = oldAside = true;
  } else if (failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS) {
    // A file put there while the name was free: it is merged; the old one
    // was merged already.
    *changed = oldAside = true;
  } else {
    *error = Reason("replacing " + target, failure);
    if (!MoveFileExW(backup.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
      *error += "; the old file is kept as " + tempPath + ".old";
    }
  }
  CloseHandle(old);
  if (oldAside) RemoveStepAside(backup);
  return done;
}

// Puts the temporary file in the target's place. With `expected`, only over
// the file it stamps; *changed is set when that file had been replaced.
bool PutInPlace(const std::string& tempPath, const std::string& target, const FileStamp* expected, bool* changed,
                std::string* error) {
  const std::wstring from = Wide(tempPath);
  const std::wstring to = Wide(target);
  const bool there = expected ? expected->exists : StampOfPath(target).exists;
  if (!there) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (expected ? 0 : MOVEFILE_REPLACE_EXISTING);
    DWORD failure = ERROR_SUCCESS;
    if (MoveHeldFile(from, to, flags, &failure)) return true;
    if (expected && (failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS)) {
      *changed = true;
      return false;
    }
    *error = Reason("replacing " + target, failure);
    return false;
  }
  if (expected) return PutOverExpected(tempPath, target, *expected, changed, error);
  const std::string backup = tempPath + ".old";
  DWORD failure = ERROR_SUCCESS;
  if (!ReplaceHeldFile(to, from, Wide(backup), &failure)) {
    *error = Reason("replacing " + target, failure);
    return false;
  }
  RemoveStepAside(Wide(backup));
  return true;
}

bool Replace(const std::string& target, std::string_view bytes, const FileStamp* expected, bool* changed,
             std::string* error) {
  *changed = false;
  const DWORD attributes = GetFileAttributesW(Wide(target).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *error = "replacing " + target + ": it is a folder";
    return false;
  }
  // Marked read-only, the file is not to change: replaced, it would lose the
  // mark, as writing it in place would be refused.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    *error = "replacing " + target + ": it is read-only";
    return false;
  }
  if (expected && !SameStamp(StampOfPath(target), *expected)) {
    *changed = true;
    return false;
  }
  const std::string folder = FolderOf(target);
  const std::string prefix = "." + NameOf(target) + ".tmp.";
  RemoveLeftTemporaries(folder, prefix);

  std::string tempPath;
  const HANDLE file = CreateTemporary(Joined(folder, prefix), &tempPath, error);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool filled = FillTemporary(file, tempPath, bytes, error);
  // Closed before the move: Windows moves no file that is open without
  // sharing its deletion.
  CloseHandle(file);
  const bool done = filled && PutInPlace(tempPath, target, expected, changed, error);
  if (!done) DeleteFileW(Wide(tempPath).c_str());
  return done;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  bool changed = false;
  return Replace(path, bytes, nullptr, &changed, error);
}

bool ReplaceFileIfUnchanged(const std::string& path, std::string_view bytes, const FileStamp& expected,
                            bool* changedMeanwhile, std::string* error) {
  return Replace(path, bytes, &expected, changedMeanwhile, error);
}
