// The device map: which device path each "Com n" entry of the window stands for.
// Kept in the profile's [Ports] section, keys "Com 1".."Com 4".
#pragma once

#include <array>
#include <string>

#include "settings/ini_document.h"

// The map as one reading of the profile left it; looking a port up touches no file.
class CPortMap {
 public:
  static constexpr int kPorts = 4;  // "Com 1" to "Com 4"

  CPortMap() = default;  // nothing set: every port has its usual name
  explicit CPortMap(const CIniDocument& profile);

  // The path of Com `port`; "/dev/ttyUSB<port-1>" when its key is missing or
  // empty, or the port is outside 1..4.
  std::string DevicePath(int port) const;

 private:
  std::array<std::string, kPorts> m_paths;
};

// Path of Com `port` from the profile at `profilePath`, read afresh; the
// usual name also when the file cannot be read.
std::string PortDevicePath(const std::string& profilePath, int port);

// Maps Com `port` to `device` in the [Ports] section of the profile at
// `profilePath`, through the profile store's atomic save: everything else in
// the file stays. False with *error set when the path cannot be kept there
// (a line break, blanks at its ends) or the file cannot be written.
// `ports`, when given, receives the device map of the file as written.
bool SetPortDevicePath(const std::string& profilePath, int port, const std::string& device, std::string* error,
                       CPortMap* ports = nullptr);
