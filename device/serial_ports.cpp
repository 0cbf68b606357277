// What a serial port is called and how it is described, on either system
// (udev_serial_ports.cpp and serial_ports_windows.cpp list them).
#include "device/serial_ports.h"

std::string SerialPortInfo::StableName() const {
  if (!serial.empty() && !byId.empty()) return byId;
  if (!byPath.empty()) return byPath;
  if (!byId.empty()) return byId;
  return devNode;
}

std::string SerialPortInfo::Description() const {
  std::string text = manufacturer;
  if (!product.empty()) text += (text.empty() ? "" : " ") + product;
  std::string particulars = vendorProduct;
  if (!serial.empty()) particulars += (particulars.empty() ? "" : ", ") + std::string("serial ") + serial;
  if (!particulars.empty()) text += (text.empty() ? "" : " ") + ("(" + particulars + ")");
  if (text.empty()) text = "serial port";
  text += " on " + devNode;
  if (!driver.empty()) text += ", driver " + driver;
  if (unchecked) text += " (not checked for a UART)";
  return text;
}

bool SerialPortInfo::IsNamed(const std::string& path) const {
  return !path.empty() && (path == devNode || path == byId || path == byPath);
}
