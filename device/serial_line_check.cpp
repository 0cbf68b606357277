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

LineResult<> CheckSerialTerminal(const struct stat& info, const std::string& path) {
  const auto refused = [&path](const char* what) {
    return Failed(CSerialLink::Fault::kOther, path + " is " + what + ", not a serial line");
  };
  const dev_t device = info.st_rdev;
  if (device == kAnyControllingTerminal || (device != 0 && device == ControllingTerminal())) {
    return refused("the terminal this program runs in");
  }
  if (device == kSystemConsole) return refused("the system console");
  if (major(device) == kVirtualConsoleMajor && minor(device) < kFirstSerialMinor) {
    return refused("a virtual console");
  }
  if (device == kPtyMultiplexer) return refused("the pseudo-terminal multiplexer");
  return {};
}
