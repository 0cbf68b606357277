// The byte trace's file on Windows: a file (UTF-8 name, wide at the system),
// never a COM port, where text would go out on the wire.
#include <fcntl.h>
#include <io.h>

#include "device/byte_trace.h"
#include "device/byte_trace_target.h"
#include "settings/windows_text.h"

bool IsOwnTerminal(int fd) { return fd == _fileno(stdout) || fd == _fileno(stderr); }

std::FILE* OpenTraceFile(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = path + ": " + why;
    return nullptr;
  };
  const HANDLE handle = CreateFileW(windows_text::Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return fail(windows_text::ErrorText(GetLastError()));
  if (GetFileType(handle) == FILE_TYPE_CHAR) {
    CloseHandle(handle);
    return fail("a device, perhaps a unit line; the trace is not written onto one (- for standard error)");
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return fail("cannot be written");
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (!file) {
    _close(fd);
    return fail("cannot be written");
  }
  return file;
}
