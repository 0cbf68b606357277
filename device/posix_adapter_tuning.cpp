// Adapter latency on Linux: the serial driver's low-latency flag and the
// latency timer that USB serial drivers show in sysfs.
#include <linux/serial.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "device/adapter_tuning.h"

bool RequestLowLatency(int fd) {
  serial_struct info{};
  if (ioctl(fd, TIOCGSERIAL, &info) != 0) return false;  // not a serial driver (a pty)
  if (info.flags & ASYNC_LOW_LATENCY) return true;
  info.flags |= ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &info) == 0;
}

std::string TtyNameOf(const std::string& devicePath) {
  char* resolved = realpath(devicePath.c_str(), nullptr);
  if (!resolved) return {};
  std::string path(resolved);
  std::free(resolved);
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

int ReadMs(const std::string& file) {
  std::ifstream in(file);
  long value = -1;
  if (!(in >> value) || value < 0 || value > INT_MAX) return -1;
  return static_cast<int>(value);
}

}  // namespace

int AdapterLatencyTimerMs(const std::string& ttyName) {
  if (ttyName.empty() || ttyName.find('/') != std::string::npos || ttyName == "." || ttyName == "..") return -1;
  const std::string tty = "/sys/class/tty/" + ttyName;
  int ms = ReadMs(tty + "/device/latency_timer");
  if (ms >= 0) return ms;
  // Some drivers keep it on a device further up: the usb-serial port device
  // holds the tty's folder in a "tty" folder of its own.
  char* resolved = realpath(tty.c_str(), nullptr);
  if (!resolved) return -1;
  std::string folder(resolved);
  std::free(resolved);
  for (int up = 0; up < 3; ++up) {
    const size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos || slash == 0) break;
    folder.erase(slash);
    ms = ReadMs(folder + "/latency_timer");
    if (ms >= 0) return ms;
  }
  return -1;
}

std::string GroupToJoin(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return {};
  if (info.st_uid == geteuid()) return {};
  if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
  if (info.st_gid == getegid()) return {};
  const int count = getgroups(0, nullptr);
  if (count < 0) return {};
  std::vector<gid_t> groups(static_cast<size_t>(count) + 1);
  const int got = getgroups(count + 1, groups.data());
  for (int i = 0; i < got; ++i) {
    if (groups[static_cast<size_t>(i)] == info.st_gid) return {};
  }
  std::vector<char> buffer(16384);
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
    return std::to_string(info.st_gid);
  }
  return found->gr_name;
}
