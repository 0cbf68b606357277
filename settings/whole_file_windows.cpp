// Reading a small text file whole, telling whether a write would replace
// one, and making folders: Windows' half (whole_file.cpp is POSIX's). Paths
// are UTF-8 here and wide at the system's calls.
#include <cerrno>
#include <string>

#include "settings/file_support.h"
#include "settings/whole_file.h"
#include "settings/windows_text.h"
#include "settings/windows_files.h"

using windows_text::Reason;
using windows_text::Wide;

namespace {

constexpr int64_t kLargestProfile = int64_t{64} << 20;

// In the C library's words, as on Linux: Windows' own text for it speaks of
// a file too large for the file system.
std::string TooLarge(const std::string& path) {
  return ::Reason("reading " + path, EFBIG) + " (over 64 MiB; left as it is)";
}

bool MeansAbsent(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  // "C:\name" lies in "C:\", not in the drive's working folder "C:".
  return slash == 0 || (slash == 2 && path[1] == ':') ? path.substr(0, slash + 1) : path.substr(0, slash);
}

FileStamp StampOfHandle(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  FileStamp stamp;
  if (!GetFileInformationByHandle(file, &info)) return stamp;
  stamp.exists = true;
  stamp.device = info.dwVolumeSerialNumber;
  stamp.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  stamp.size = static_cast<int64_t>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  // 100 ns ticks since 1601: seconds and the nanoseconds within them.
  const uint64_t ticks = (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
  stamp.modified.tv_sec = static_cast<time_t>(ticks / 10'000'000);
  stamp.modified.tv_nsec = static_cast<long>(ticks % 10'000'000) * 100;
  return stamp;
}

FileStamp StampOfPath(const std::string& path) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  const FileStamp stamp = StampOfHandle(file);
  CloseHandle(file);
  return stamp;
}

bool WouldReplace(const std::string& path, const std::string& kept) {
  const FileStamp target = StampOfPath(path);
  const FileStamp file = StampOfPath(kept);
  if (target.exists && file.exists) {
    const DWORD attributes = GetFileAttributesW(Wide(kept).c_str());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && target.device == file.device && target.inode == file.inode;
  }
  if (target.exists || file.exists) return false;
  const auto place = [](const std::string& name) {
    wchar_t full[32768];
    const DWORD length = GetFullPathNameW(Wide(name).c_str(), 32768, full, nullptr);
    return length > 0 && length < 32768 ? std::wstring(full, length) : std::wstring();
  };
  const std::wstring a = place(path);
  // Windows' names ignore case: compare as the file system would.
  return !a.empty() && CompareStringOrdinal(a.c_str(), -1, place(kept).c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, FileStamp* stamp, std::string* error) {
  bytes->clear();
  if (stamp) *stamp = FileStamp{};
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD failure = GetLastError();
    if (MeansAbsent(failure)) return true;
    *error = Reason("reading " + path, failure);
    return false;
  }
  const FileStamp before = StampOfHandle(file);
  bool whole = true;
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *error = "reading " + path + ": it is a folder";
    whole = false;
  } else if (GetFileType(file) != FILE_TYPE_DISK) {
    *error = "reading " + path + ": not a regular file";
    whole = false;
  } else if (before.size > kLargestProfile) {
    *error = TooLarge(path);
    whole = false;
  }
  if (whole) {
    bytes->reserve(static_cast<size_t>(before.size) + 4096);
    char buffer[65536];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
        *error = Reason("reading " + path, GetLastError());
        whole = false;
        break;
      }
      if (got == 0) break;
      bytes->append(buffer, got);
      if (bytes->size() > static_cast<size_t>(kLargestProfile)) {
        *error = TooLarge(path);
        whole = false;
        break;
      }
    }
  }
  if (stamp && whole) {
    *stamp = StampOfHandle(file);
    if (!SameStamp(*stamp, before)) stamp->modified = timespec{-1, 0};
  }
  CloseHandle(file);
  return whole;
}

bool MakeFolders(const std::string& folder, std::string* error) {
  if (folder.empty()) return true;
  const DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    *error = Reason("creating folder " + folder, DWORD{ERROR_DIRECTORY});
    return false;
  }
  const size_t slash = folder.find_last_of("/\\");
  if (slash != std::string::npos && slash > 0 && !(slash == 2 && folder[1] == ':') &&
      !MakeFolders(folder.substr(0, slash), error)) {
    return false;
  }
  // A folder made by Windows inherits its parent's permissions, which for
  // %APPDATA% are the user's alone.
  if (!CreateDirectoryW(Wide(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    *error = Reason("creating folder " + folder, GetLastError());
    return false;
  }
  return true;
}
