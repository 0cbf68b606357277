// A line's identity on Windows: the COM port's name in capitals, without the
// device namespace prefix ("\\.\com3" and "COM3" are one port).
#include <algorithm>
#include <cctype>

#include "cli/line_identity.h"

std::string LineIdentity(const std::string& path) {
  std::string device = path.starts_with("\\\\.\\") ? path.substr(4) : path;
  std::transform(device.begin(), device.end(), device.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return device;
}
