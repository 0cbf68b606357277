// Adapter tuning on Windows: the USB adapter's latency timer is a setting of
// its driver that Device Manager shows (the port's Properties, Port Settings,
// Advanced..., Latency Timer). The FTDI driver keeps it among each port's
// device parameters in the registry, beside the port's COM name: Dimlet reads
// it there, to start an automatic answer wait long enough, and never writes
// it. No group grants access to a COM port.
#include <windows.h>

#include <cwctype>
#include <iterator>
#include <vector>

#include "device/adapter_tuning.h"
#include "settings/windows_text.h"

namespace {

constexpr wchar_t kFtdiBus[] = L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

// The names of the subkeys of `key`.
std::vector<std::wstring> SubkeysOf(HKEY key) {
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(std::size(name));
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

bool SameName(std::wstring a, std::wstring b) {
  for (wchar_t& c : a) c = static_cast<wchar_t>(std::towupper(c));
  for (wchar_t& c : b) c = static_cast<wchar_t>(std::towupper(c));
  return a == b;
}

}  // namespace

bool RequestLowLatency(int) { return false; }

std::string TtyNameOf(const std::string& devicePath) { return devicePath; }

int AdapterLatencyTimerMs(const std::string& comName) {
  std::wstring port = windows_text::Wide(comName);
  if (port.rfind(L"\\\\.\\", 0) == 0) port.erase(0, 4);
  HKEY bus = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFtdiBus, 0, KEY_READ, &bus) != ERROR_SUCCESS) return -1;
  int timer = -1;
  for (const std::wstring& device : SubkeysOf(bus)) {
    HKEY instances = nullptr;
    if (RegOpenKeyExW(bus, device.c_str(), 0, KEY_READ, &instances) != ERROR_SUCCESS) continue;
    for (const std::wstring& instance : SubkeysOf(instances)) {
      const std::wstring parameters = instance + L"\\Device Parameters";
      wchar_t name[64];
      DWORD size = sizeof name;
      if (RegGetValueW(instances, parameters.c_str(), L"PortName", RRF_RT_REG_SZ, nullptr, name, &size) !=
              ERROR_SUCCESS ||
          !SameName(name, port)) {
        continue;
      }
      DWORD ms = 0;
      size = sizeof ms;
      if (RegGetValueW(instances, parameters.c_str(), L"LatencyTimer", RRF_RT_REG_DWORD, nullptr, &ms, &size) ==
          ERROR_SUCCESS) {
        timer = static_cast<int>(ms);
      }
    }
    RegCloseKey(instances);
  }
  RegCloseKey(bus);
  return timer;
}

std::string GroupToJoin(const std::string&) { return {}; }
