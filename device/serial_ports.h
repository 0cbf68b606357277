// The serial adapters and ports on this machine, as udev knows them, and a
// watch on them coming and going. Plain C++; the window asks and shows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/line_result.h"

struct SerialPortInfo {
  std::string devNode;       // "/dev/ttyUSB0"
  std::string byId;          // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", or empty
  std::string byPath;        // "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", or empty
  std::string product;       // "FT232R USB UART", or empty
  std::string manufacturer;  // "FTDI", or empty
  std::string vendorProduct; // USB "0403:6001", or empty
  std::string serial;        // the adapter's serial number, or empty
  std::string driver;        // "ftdi_sio", "ch341-uart", "serial8250", ...
  // A built-in port whose UART Dimlet could not check is listed all the
  // same; this says so.
  bool unchecked = false;

  // The name to keep in the profile: by-id when the adapter has a serial
  // number (the name then follows the adapter to any socket), else by-path
  // (it follows the socket), else whichever name there is.
  std::string StableName() const;
  // One line for a person: "FTDI FT232R USB UART (0403:6001, serial A1B2C3)
  // on /dev/ttyUSB0, driver ftdi_sio".
  std::string Description() const;
  // Whether `path` names this port: its node or one of its links.
  bool IsNamed(const std::string& path) const;
};

// Serial ports with a device behind them: USB adapters, and built-in ttyS
// ports whose driver reports a real UART (or that could not be checked).
// Virtual terminals and ptys are left out. Sorted by device node. Fails when
// the system cannot be asked.
LineResult<std::vector<SerialPortInfo>> ListSerialPorts();

// Whether a device is there by the name `path` (a tty's node or link, a
// COM port's name); not whether it can be opened.
bool SerialDeviceThere(const std::string& path);

// Serial ports appearing and going away, from udev's own events (sent once
// the device's links and permissions are in place).
class CSerialPortWatch {
 public:
  struct Event {
    bool added = false;  // false: removed
    SerialPortInfo port;
  };

  CSerialPortWatch();
  ~CSerialPortWatch();
  CSerialPortWatch(const CSerialPortWatch&) = delete;
  CSerialPortWatch& operator=(const CSerialPortWatch&) = delete;

  // A descriptor that turns readable when events wait, owned by the watch;
  // or why the ports cannot be watched.
  LineResult<int> Descriptor() const;
  // The events waiting now; never blocks.
  std::vector<Event> Take();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
