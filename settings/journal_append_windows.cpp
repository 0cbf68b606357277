// Appending a line to the journal on Windows: the journal's folder locked
// (LockFileEx on a file in it, see folder_lock.h) while its size is looked at
// and it is moved aside and while the line is written, in one WriteFile to a
// handle opened for appending only.
#include "settings/folder_lock.h"
#include "settings/journal.h"
#include "settings/windows_files.h"

bool AppendJournalLine(const std::string& path, const std::string& line, int64_t rotateBytes, std::string* error) {
  const std::string folder = FolderOf(path);
  if (!MakeFolders(folder, error)) {
    *error = "writing the journal " + path + ": " + *error;
    return false;
  }
  const FolderLock lock(folder);
  const FileStamp stamp = StampOfPath(path);
  if (lock.Held() && stamp.exists && stamp.size + static_cast<int64_t>(line.size()) > rotateBytes) {
    // The oldest goes; a name that cannot be moved leaves the journal growing.
    for (int kept = kJournalKept; kept >= 1; --kept) {
      const std::string from = kept == 1 ? path : path + "." + std::to_string(kept - 1);
      MoveFileExW(windows_text::Wide(from).c_str(), windows_text::Wide(path + "." + std::to_string(kept)).c_str(),
                  MOVEFILE_REPLACE_EXISTING);
    }
  }
  const HANDLE file = CreateFileW(windows_text::Wide(path).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = windows_text::Reason("writing the journal " + path, GetLastError());
    return false;
  }
  DWORD written = 0;
  const bool whole = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                     written == line.size();
  const DWORD failure = whole ? 0 : GetLastError();
  CloseHandle(file);
  if (whole) return true;
  *error = windows_text::Reason("writing the journal " + path, failure ? failure : ERROR_DISK_FULL);
  return false;
}
