// The device of an unmapped Com entry on Linux: the USB adapters' ttys.
#include <cstdint>

#include "settings/port_map.h"

std::string DefaultDevicePath(int port) { return "/dev/ttyUSB" + std::to_string(int64_t{port} - 1); }

bool IsWholeDeviceName(std::string_view name) { return !name.empty() && name.front() == '/'; }

std::string WholeDeviceNameRule() { return "a device path must start with /"; }
