// POSIX: file numbers 0, 1 and 2 (see standard_streams.h).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "settings/standard_streams.h"

bool OpenClosedStandardStreams() {
  for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
    if (fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is this stream's: the null device takes it.
    const int null = open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null == stream) continue;
    if (null >= 0) close(null);
    return false;
  }
  return true;
}
