// The device map: which device path each "Com n" entry of the window stands for.
// Kept in the profile's [Ports] section, keys "Com 1".."Com 4".
#pragma once

#include <string>

// Path of Com `port` from the [Ports] section of the profile at `profilePath`,
// read afresh on each call; "/dev/ttyUSB<port-1>" when the key is missing or
// empty, or the file cannot be read.
std::string PortDevicePath(const std::string& profilePath, int port);
