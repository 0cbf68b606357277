// The device map: which device path each "Com n" entry of the window stands for.
// Kept in the profile's [Ports] section, keys "Com 1".."Com 4".
#pragma once

#include <string>

// Path of Com `port` from the [Ports] section of the profile at `profilePath`,
// read afresh on each call; "/dev/ttyUSB<port-1>" when the key is missing or
// empty, or the file cannot be read.
std::string PortDevicePath(const std::string& profilePath, int port);

// Maps Com `port` to `device` in the [Ports] section of the profile at
// `profilePath`, through the profile store's atomic save: everything else in
// the file stays. False with *error set when the path cannot be kept there
// (a line break, blanks at its ends) or the file cannot be written.
bool SetPortDevicePath(const std::string& profilePath, int port, const std::string& device, std::string* error);
