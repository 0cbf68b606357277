// Serial ports on Windows: the COM ports the registry's SERIALCOMM list
// names (every serial driver, and wine, fills it), with the friendly name
// SetupAPI knows for each ("USB Serial Port (COM5)"). No watch: Windows
// tells of ports coming and going through window messages, which belong to
// the window's half.
#include <windows.h>

#include <setupapi.h>
#include <devguid.h>

#include <algorithm>
#include <map>
#include <string_view>

#include "device/serial_ports.h"
#include "settings/windows_text.h"

using windows_text::Utf8;

namespace {

// "COM3" before "COM10".
bool ComBefore(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

// The friendly names of the ports class's devices, by their port name.
std::map<std::string, std::string> FriendlyNames() {
  std::map<std::string, std::string> names;
  const HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
    wchar_t friendly[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE*>(friendly), sizeof friendly - sizeof(wchar_t),
                                           nullptr)) {
      continue;
    }
    const HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t port[64] = {};
    DWORD size = sizeof port - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(port), &size) == ERROR_SUCCESS) {
      names[Utf8(port)] = Utf8(friendly);
    }
    RegCloseKey(key);
  }
  SetupDiDestroyDeviceInfoList(devices);
  return names;
}

}  // namespace

namespace {

// The ports the registry's SERIALCOMM list names, with their drivers, in the
// list's order; ERROR_SUCCESS, or why the list could not be read.
LSTATUS SerialCommPorts(std::vector<SerialPortInfo>* ports) {
  HKEY list = nullptr;
  const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &list);
  if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // no serial driver has a port
  if (opened != ERROR_SUCCESS) return opened;
  for (DWORD i = 0;; ++i) {
    wchar_t driverName[256];
    DWORD nameLength = 256;
    wchar_t comName[64] = {};
    DWORD valueSize = sizeof comName - sizeof(wchar_t);
    DWORD type = 0;
    if (RegEnumValueW(list, i, driverName, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(comName),
                      &valueSize) != ERROR_SUCCESS) {
      break;
    }
    if (type != REG_SZ) continue;
    SerialPortInfo port;
    port.devNode = Utf8(comName);
    // "\Device\VCP0" names the driver's device; its last part is what
    // Device Manager shows too.
    const std::string driver = Utf8(driverName, nameLength);
    port.driver = driver.substr(driver.find_last_of('\\') + 1);
    ports->push_back(std::move(port));
  }
  RegCloseKey(list);
  return ERROR_SUCCESS;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

LineResult<std::vector<SerialPortInfo>> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  if (const LSTATUS failed = SerialCommPorts(&ports); failed != ERROR_SUCCESS) {
    return Failed(CSerialLink::Fault::kOther, windows_text::Reason("cannot list the serial ports", static_cast<DWORD>(failed)));
  }
  const std::map<std::string, std::string> friendly = FriendlyNames();
  for (SerialPortInfo& port : ports) {
    if (const auto named = friendly.find(port.devNode); named != friendly.end()) port.product = named->second;
  }
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return ComBefore(a.devNode, b.devNode); });
  return ports;
}

// A port is there when a serial driver lists it. Windows has DOS devices by
// other names too (CON, NUL, CONIN$, LPT1): they are there, but no port.
bool SerialDeviceThere(const std::string& path) {
  const std::string name = path.starts_with("\\\\.\\") ? path.substr(4) : path;
  std::vector<SerialPortInfo> ports;
  SerialCommPorts(&ports);  // a list that cannot be read names no port
  return std::any_of(ports.begin(), ports.end(),
                     [&name](const SerialPortInfo& port) { return SameIgnoringCase(port.devNode, name); });
}

struct CSerialPortWatch::Impl {
  std::string error = "ports coming and going are not followed on Windows";
};

CSerialPortWatch::CSerialPortWatch() : m_impl(std::make_unique<Impl>()) {}
CSerialPortWatch::~CSerialPortWatch() = default;
LineResult<int> CSerialPortWatch::Descriptor() const { return Failed(CSerialLink::Fault::kOther, m_impl->error); }
std::vector<CSerialPortWatch::Event> CSerialPortWatch::Take() { return {}; }
