// The device of an unmapped Com entry on Windows: Com n is COMn.
#include <cstdint>

#include "settings/port_map.h"
#include "settings/windows_text.h"

std::string DefaultDevicePath(int port) { return "COM" + std::to_string(int64_t{port}); }

bool IsWholeDeviceName(std::string_view name) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (windows_text::IsComPortName(name)) return true;
  if (!name.empty() && (name.front() == '\\' || name.front() == '/')) return true;
  return name.size() >= 3 && letter(name[0]) && name[1] == ':' && (name[2] == '\\' || name[2] == '/');
}

std::string WholeDeviceNameRule() { return "a device must be a COM port (COM1) or a full path (C:\\...)"; }
