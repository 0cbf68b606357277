// Appending a line to the journal on Windows: the journal's folder locked
// (LockFileEx on a file in it, see folder_lock.h) while its size is looked at
// and it is moved aside and while the line is written, in one WriteFile to a
// handle opened for appending only. A write the disk cut short is taken back:
// the file holds whole lines only.
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
  // Appending only: a write goes to the end whatever the handle's position.
  const HANDLE file = CreateFileW(windows_text::Wide(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = windows_text::Reason("writing the journal " + path, GetLastError());
    return false;
  }
  // A line cut short by a crash, or by an older writer on a full disk, ends
  // here first, so that this line is not glued to it and lost with it.
  std::string text = line;
  LARGE_INTEGER size{};
  const bool sized = GetFileSizeEx(file, &size);
  if (sized && size.QuadPart > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(size.QuadPart - 1);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    char last = '\n';
    DWORD got = 0;
    if (ReadFile(file, &last, 1, &got, &at) && got == 1 && last != '\n') text.insert(0, 1, '\n');
  }
  DWORD written = 0;
  const bool whole = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                     written == text.size();
  const DWORD failure = whole ? 0 : GetLastError();
  CloseHandle(file);
  if (!whole && written > 0 && sized) {
    // A disk that filled during the write took part of the line: it goes
    // again (the other writers wait for the lock), so that the file holds
    // whole lines only. Should the cut stay, the next line still starts on a
    // line of its own (above).
    const HANDLE cut = CreateFileW(windows_text::Wide(path).c_str(), FILE_WRITE_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (cut != INVALID_HANDLE_VALUE) {
      FILE_END_OF_FILE_INFO end{};
      end.EndOfFile = size;
      SetFileInformationByHandle(cut, FileEndOfFileInfo, &end, sizeof end);
      CloseHandle(cut);
    }
  }
  if (whole) return true;
  *error = windows_text::Reason("writing the journal " + path, failure ? failure : ERROR_DISK_FULL);
  return false;
}
