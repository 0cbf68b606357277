// The device of an unmapped Com entry on Windows: Com n is COMn.
#include <cstdint>

#include "settings/port_map.h"

std::string DefaultDevicePath(int port) { return "COM" + std::to_string(int64_t{port}); }
