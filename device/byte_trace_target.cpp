// The byte trace's file on POSIX: opened without waiting on a FIFO, and
// never a terminal line other than the program's own.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/byte_trace.h"
#include "device/byte_trace_target.h"

bool IsOwnTerminal(int fd) {
  struct stat target {};
  if (fstat(fd, &target) != 0) return false;
  if (target.st_rdev == makedev(5, 0)) return true;  // /dev/tty
  for (int standard : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat open {};
    if (fstat(standard, &open) == 0 && S_ISCHR(open.st_mode) && open.st_rdev == target.st_rdev) return true;
  }
  return false;
}

std::FILE* OpenTraceFile(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = path + ": " + why;
    return nullptr;
  };
  // Not blocking: a FIFO without a reader fails at once instead of waiting.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int err = errno;
    struct stat target {};
    const bool fifo = err == ENXIO && stat(path.c_str(), &target) == 0 && S_ISFIFO(target.st_mode);
    return fail(fifo ? "a FIFO that nobody reads" : std::strerror(err));
  }
  if (isatty(fd) && !IsOwnTerminal(fd)) {
    close(fd);
    return fail("a terminal line, perhaps a unit line; the trace is not written onto one (- for standard error)");
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int err = errno;
    close(fd);
    return fail(std::strerror(err));
  }
  std::FILE* file = fdopen(fd, "w");
  if (!file) {
    const int err = errno;
    close(fd);
    return fail(std::strerror(err));
  }
  return file;
}
