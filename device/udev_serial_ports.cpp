// Serial ports from libudev: listing them with their names and the USB
// adapter's particulars, and watching them come and go.
#include <libudev.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "device/posix_error.h"
#include "device/serial_ports.h"

namespace {

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
  void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
template <class T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string Text(const char* value) { return value ? std::string(value) : std::string(); }

std::string Trimmed(std::string text) {
  const auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  size_t first = 0;
  while (first < text.size() && blank(text[first])) ++first;
  return text.substr(first);
}

std::string Attribute(udev_device* device, const char* name) {
  return device ? Trimmed(Text(udev_device_get_sysattr_value(device, name))) : std::string();
}

std::string Property(udev_device* device, const char* name) {
  return Trimmed(Text(udev_device_get_property_value(device, name)));
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

void TakeLink(const std::string& link, SerialPortInfo* port) {
  if (StartsWith(link, "/dev/serial/by-id/") && port->byId.empty()) port->byId = link;
  if (StartsWith(link, "/dev/serial/by-path/") && port->byPath.empty()) port->byPath = link;
}

// What a tty device is, or false for a tty that stands for no port: a
// virtual terminal or pty (no device behind it), or a built-in port whose
// driver found no UART there.
bool Describe(udev_device* tty, SerialPortInfo* port) {
  udev_device* parent = udev_device_get_parent(tty);  // owned by tty
  if (!parent) return false;
  port->devNode = Text(udev_device_get_devnode(tty));
  if (port->devNode.empty()) return false;

  const std::string name = Text(udev_device_get_sysname(tty));
  if (StartsWith(name, "ttyS")) {
    // The serial core shows the UART type it found; 0 is "none".
    const std::string type = Attribute(tty, "type");
    if (type == "0") return false;
    port->unchecked = type.empty();
  }

  for (udev_list_entry* entry = udev_device_get_devlinks_list_entry(tty); entry;
       entry = udev_list_entry_get_next(entry)) {
    TakeLink(Text(udev_list_entry_get_name(entry)), port);
  }
  // The same links as a property, where the udev database is not at hand.
  std::istringstream links(Property(tty, "DEVLINKS"));
  for (std::string link; links >> link;) TakeLink(link, port);

  for (udev_device* up = parent; up && port->driver.empty(); up = udev_device_get_parent(up)) {
    port->driver = Text(udev_device_get_driver(up));
  }
  if (port->driver.empty()) port->driver = Property(tty, "ID_USB_DRIVER");

  udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
  port->manufacturer = Attribute(usb, "manufacturer");
  port->product = Attribute(usb, "product");
  port->serial = Attribute(usb, "serial");
  std::string vendor = Attribute(usb, "idVendor");
  std::string model = Attribute(usb, "idProduct");
  if (port->manufacturer.empty()) port->manufacturer = Property(tty, "ID_VENDOR_FROM_DATABASE");
  if (port->product.empty()) port->product = Property(tty, "ID_MODEL_FROM_DATABASE");
  if (port->serial.empty()) port->serial = Property(tty, "ID_SERIAL_SHORT");
  if (vendor.empty()) vendor = Property(tty, "ID_VENDOR_ID");
  if (model.empty()) model = Property(tty, "ID_MODEL_ID");
  if (!vendor.empty() && !model.empty()) port->vendorProduct = vendor + ":" + model;
  return true;
}

std::string UdevError(const std::string& what) {
  const int err = errno;
  return err != 0 ? what + ": " + posix_error::ErrorText(err) : what;
}

}  // namespace

bool SerialDeviceThere(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

LineResult<std::vector<SerialPortInfo>> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  errno = 0;
  UdevPtr<udev> context(udev_new());
  if (!context) return Failed(CSerialLink::Fault::kOther, UdevError("cannot reach udev"));
  UdevPtr<udev_enumerate> listing(udev_enumerate_new(context.get()));
  if (!listing || udev_enumerate_add_match_subsystem(listing.get(), "tty") < 0 ||
      udev_enumerate_scan_devices(listing.get()) < 0) {
    return Failed(CSerialLink::Fault::kOther, UdevError("cannot list the serial devices"));
  }
  for (udev_list_entry* entry = udev_enumerate_get_list_entry(listing.get()); entry;
       entry = udev_list_entry_get_next(entry)) {
    UdevPtr<udev_device> tty(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    SerialPortInfo port;
    if (tty && Describe(tty.get(), &port)) ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.devNode < b.devNode; });
  return ports;
}

struct CSerialPortWatch::Impl {
  UdevPtr<udev> context;
  UdevPtr<udev_monitor> monitor;
  std::string error;
};

CSerialPortWatch::CSerialPortWatch() : m_impl(std::make_unique<Impl>()) {
  Impl& d = *m_impl;
  errno = 0;
  d.context.reset(udev_new());
  if (d.context) d.monitor.reset(udev_monitor_new_from_netlink(d.context.get(), "udev"));
  if (!d.monitor || udev_monitor_filter_add_match_subsystem_devtype(d.monitor.get(), "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(d.monitor.get()) < 0) {
    d.error = UdevError("cannot watch udev for serial devices");
    d.monitor.reset();
  }
}

CSerialPortWatch::~CSerialPortWatch() = default;

LineResult<int> CSerialPortWatch::Descriptor() const {
  if (!m_impl->monitor) return Failed(CSerialLink::Fault::kOther, m_impl->error);
  return udev_monitor_get_fd(m_impl->monitor.get());
}

std::vector<CSerialPortWatch::Event> CSerialPortWatch::Take() {
  std::vector<Event> events;
  if (!m_impl->monitor) return events;
  // The monitor's socket is non-blocking: this ends when nothing waits.
  while (UdevPtr<udev_device> device{udev_monitor_receive_device(m_impl->monitor.get())}) {
    const std::string action = Text(udev_device_get_action(device.get()));
    if (action != "add" && action != "remove") continue;
    Event event;
    event.added = action == "add";
    if (event.added) {
      if (Describe(device.get(), &event.port)) events.push_back(std::move(event));
      continue;
    }
    // A removed device has left sysfs: only what the event carries is known.
    event.port.devNode = Text(udev_device_get_devnode(device.get()));
    for (udev_list_entry* entry = udev_device_get_devlinks_list_entry(device.get()); entry;
         entry = udev_list_entry_get_next(entry)) {
      TakeLink(Text(udev_list_entry_get_name(entry)), &event.port);
    }
    std::istringstream links(Property(device.get(), "DEVLINKS"));
    for (std::string link; links >> link;) TakeLink(link, &event.port);
    if (!event.port.devNode.empty()) events.push_back(std::move(event));
  }
  return events;
}
