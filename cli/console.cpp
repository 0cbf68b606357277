// The console on Linux needs no preparing (see console.h).
#include "cli/console.h"

#include <poll.h>

void PrepareConsole() {}

bool OutputReaderLeft(int fd) {
  // A pipe's writing end reports an error once no reader is left.
  pollfd check{fd, 0, 0};
  return poll(&check, 1, 0) == 1 && (check.revents & POLLERR) != 0;
}
