// The device map: the [Ports] section of the profile names the device path of
// each "Com n" entry.
#include "settings/port_map.h"

#include <cstdint>

#include "settings/profile_store.h"
#include "settings/whole_file.h"

CPortMap::CPortMap(const CIniDocument& profile) {
  for (int port = 1; port <= kPorts; ++port) {
    std::optional<std::string_view> device = profile.Value("Ports", "Com " + std::to_string(port));
    if (device) m_paths[static_cast<size_t>(port - 1)] = std::string(*device);
  }
}

std::string CPortMap::DevicePath(int port) const {
  if (port >= 1 && port <= kPorts && !m_paths[static_cast<size_t>(port - 1)].empty()) {
    return m_paths[static_cast<size_t>(port - 1)];
  }
  return "/dev/ttyUSB" + std::to_string(int64_t{port} - 1);
}

std::string PortDevicePath(const std::string& profilePath, int port) {
  std::string text;
  std::string error;
  // Any failure to read falls back to the usual USB adapter name; the port's
  // own open reports a wrong device to the operator.
  if (ReadWholeFile(profilePath, &text, &error) != ReadOutcome::kRead) return CPortMap().DevicePath(port);
  return CPortMap(CIniDocument(std::move(text))).DevicePath(port);
}

bool SetPortDevicePath(const std::string& profilePath, int port, const std::string& device, std::string* error,
                       CPortMap* ports) {
  CProfileStore store(profilePath);
  if (store.SaveValue("Ports", "Com " + std::to_string(port), device)) {
    if (ports) *ports = store.Ports();
    return true;
  }
  if (error) *error = store.Error();
  return false;
}
