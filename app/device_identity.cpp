// A path's identity from stat(): which file, and what kind.
#include "app/device_identity.h"

#include <sys/stat.h>

std::optional<std::string> DeviceIdentityAt(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + ':' + std::to_string(info.st_rdev) + ':' +
         std::to_string(info.st_mode & S_IFMT);
}
