// Reading row files and writing them on Windows (see cli_files.h;
// cli_files.cpp is POSIX's half): files by UTF-8 names, replaced atomically,
// and standard input read in binary mode, so CRLF line ends reach the row
// parser as written.
#include <io.h>

#include <cerrno>
#include <istream>
#include <ostream>

#include "cli/cli_files.h"
#include "cli/stop_signals.h"
#include "settings/atomic_file.h"
#include "settings/whole_file.h"
#include "settings/windows_text.h"

namespace {

const std::string kTooLarge = "over 64 MiB; a row file is far smaller";

bool IsFolder(const std::string& name) {
  const DWORD attributes = GetFileAttributesW(windows_text::Wide(name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool ReadRowSource(const std::string& name, int inFd, std::istream& in, std::string* text, std::string* error) {
  text->clear();
  if (name == "-") {
    char chunk[65536];
    for (;;) {
      if (StopAsked()) {
        *error = "stdin: stopped by a signal while waiting for rows; nothing was sent";
        return false;
      }
      int n = 0;
      if (inFd >= 0) {
        n = _read(inFd, chunk, sizeof chunk);
        if (n < 0) {
          *error = "reading stdin: " + std::generic_category().message(errno);
          return false;
        }
      } else {
        in.read(chunk, sizeof chunk);
        n = static_cast<int>(in.gcount());
      }
      if (n == 0) return true;
      if (text->size() + static_cast<size_t>(n) > kLargestRowFile) {
        *error = "stdin: " + kTooLarge;
        return false;
      }
      text->append(chunk, static_cast<size_t>(n));
    }
  }
  if (IsFolder(name)) {
    *error = name + ": a folder, not a row file";
    return false;
  }
  FileStamp stamp;
  std::string why;
  if (!ReadWholeFile(name, text, &stamp, &why)) {
    *error = why.find("64 MiB") != std::string::npos ? name + ": " + kTooLarge : why;
    return false;
  }
  if (!stamp.exists) {
    *error = name + ": no such file";
    return false;
  }
  return true;
}

bool IsStandardOutput(const std::string& name) { return name == "-"; }

bool WriteOutput(const std::string& name, const std::string& text, std::ostream& out, std::ostream&,
                 std::string* error) {
  if (name == "-") {
    out << text << std::flush;
    if (!out) *error = "writing standard output: it was closed";
    return static_cast<bool>(out);
  }
  return WriteFileAtomically(name, text, error);
}

bool CheckOutputTarget(const std::string& name, std::string* error) {
  if (name == "-") return true;
  if (IsFolder(name)) {
    *error = name + ": a folder; rows are written to a file";
    return false;
  }
  const std::string folder = FolderOf(name);
  if (!IsFolder(folder)) {
    *error = name + ": its folder " + folder + " cannot take a new file: " +
             windows_text::ErrorText(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return true;
}

bool IsRegularFile(const std::string& name) {
  const DWORD attributes = GetFileAttributesW(windows_text::Wide(name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
}

bool MakeNewFile(const std::string& name, bool* taken, std::string* error) {
  const HANDLE file = CreateFileW(windows_text::Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD failure = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  *taken = failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS;
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return true;
  }
  if (!*taken) *error = "making " + name + ": " + windows_text::ErrorText(failure);
  return false;
}
