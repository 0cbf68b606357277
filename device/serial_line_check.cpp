// Terminals that are not unit lines, told apart by their device numbers.
#include "device/serial_line_check.h"

#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>

namespace {

// The device numbers Linux gives /dev/tty (whatever terminal the opener runs
// in), /dev/console (wherever the system sends its messages), /dev/ptmx (the
// pseudo-terminal multiplexer, also /dev/pts/ptmx), and the virtual consoles
// /dev/tty0../dev/tty63 (major 4 below the serial ports' minors).
const dev_t kAnyControllingTerminal = makedev(5, 0);
const dev_t kSystemConsole = makedev(5, 1);
const dev_t kPtyMultiplexer = makedev(5, 2);
constexpr unsigned kVirtualConsoleMajor = 4;
constexpr unsigned kFirstSerialMinor = 64;

// The terminal this process runs in, from /proc/self/stat; 0 when it has none.
dev_t ControllingTerminal() {
  FILE* stat = std::fopen("/proc/self/stat", "re");
  if (!stat) return 0;
  char text[1024] = {};
  const size_t length = std::fread(text, 1, sizeof text - 1, stat);
  std::fclose(stat);
  // The command name in parentheses may hold anything: count from its end.
  const char* close = std::strrchr(text, ')');
  unsigned long ttyNumber = 0;
  if (length == 0 || !close || std::sscanf(close + 1, " %*c %*d %*d %*d %lu", &ttyNumber) != 1) return 0;
  if (ttyNumber == 0) return 0;
  return makedev((ttyNumber >> 8) & 0xfff, (ttyNumber & 0xff) | ((ttyNumber >> 12) & 0xfff00));
}

}  // namespace

std::string WrongTerminal(const struct stat& info, const std::string& path) {
  const dev_t device = info.st_rdev;
  if (device == kAnyControllingTerminal || (device != 0 && device == ControllingTerminal())) {
    return path + " is the terminal this program runs in, not a serial line";
  }
  if (device == kSystemConsole) return path + " is the system console, not a serial line";
  if (major(device) == kVirtualConsoleMajor && minor(device) < kFirstSerialMinor) {
    return path + " is a virtual console, not a serial line";
  }
  if (device == kPtyMultiplexer) return path + " is the pseudo-terminal multiplexer, not a serial line";
  return {};
}
