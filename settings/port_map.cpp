// The device map: the [Ports] section of the profile names the device path of
// each "Com n" entry.
#include "settings/port_map.h"

#include <cstdint>

#include "settings/ini_document.h"
#include "settings/profile_store.h"
#include "settings/whole_file.h"

std::string PortDevicePath(const std::string& profilePath, int port) {
  const std::string fallback = "/dev/ttyUSB" + std::to_string(int64_t{port} - 1);
  std::string text;
  std::string error;
  // Any failure to read falls back to the usual USB adapter name; the port's
  // own open reports a wrong device to the operator.
  if (ReadWholeFile(profilePath, &text, &error) != ReadOutcome::kRead) return fallback;
  CIniDocument profile(text);
  std::optional<std::string_view> device = profile.Value("Ports", "Com " + std::to_string(port));
  if (!device || device->empty()) return fallback;
  return std::string(*device);
}

bool SetPortDevicePath(const std::string& profilePath, int port, const std::string& device, std::string* error) {
  CProfileStore store(profilePath);
  if (store.SaveValue("Ports", "Com " + std::to_string(port), device)) return true;
  if (error) *error = store.Error();
  return false;
}
