// Finding serial adapters through udev, against devices that umockdev makes up
// in a sysfs and udev of its own: what is listed and by which names, an
// adapter with no serial number, built-in ports with and without a UART, the
// adapter's latency timer, and a plug/unplug pair of events.
//
// umockdev works by a preloaded library (umockdev-wrapper); without it these
// cases cannot run and say so.
#include <poll.h>
#include <umockdev.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/adapter_tuning.h"
#include "device/serial_ports.h"

namespace {

constexpr const char* kNoMock =
    "needs the umockdev preload library (run through umockdev-wrapper); the sanitizer build "
    "runs without it, as it must come before every other preloaded library";

// A made-up machine: a USB hub port with adapters on it, and built-in ports.
class MockMachine {
 public:
  MockMachine() : m_bed(umockdev_testbed_new()) {}
  ~MockMachine() { g_object_unref(m_bed); }
  MockMachine(const MockMachine&) = delete;
  MockMachine& operator=(const MockMachine&) = delete;

  struct Adapter {
    std::string usbName;  // "1-2"
    std::string tty;      // "ttyUSB0"
    std::string vendor, product, manufacturer, productName, serial, driver;
    int latencyTimer = -1;
  };

  // Adds the USB device, its usb-serial port and the tty below it; returns
  // the tty's sysfs path.
  std::string AddAdapter(const Adapter& a) {
    std::string usb = Add("usb", a.usbName, nullptr,
                          {"idVendor", a.vendor, "idProduct", a.product, "manufacturer", a.manufacturer,
                           "product", a.productName, "serial", a.serial},
                          {"DEVTYPE", "usb_device"});
    const std::string iface = Add("usb", a.usbName + ":1.0", usb.c_str(), {}, {"DEVTYPE", "usb_interface"});
    std::vector<std::string> portAttributes;
    if (a.latencyTimer >= 0) portAttributes = {"latency_timer", std::to_string(a.latencyTimer)};
    const std::string port = Add("usb-serial", a.tty, iface.c_str(), portAttributes, {});
    umockdev_testbed_set_attribute_link(m_bed, port.c_str(), "driver", ("../../../bus/usb-serial/drivers/" + a.driver).c_str());
    std::string links = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + a.usbName.substr(2) + ":1.0-port0";
    if (!a.serial.empty()) {
      links = "/dev/serial/by-id/usb-" + a.manufacturer + "_" + a.serial + "-if00-port0 " + links;
    }
    return Add("tty", a.tty, port.c_str(), {}, {"DEVNAME", "/dev/" + a.tty, "DEVLINKS", links});
  }

  // A built-in port; `uartType` "" leaves the type attribute out.
  std::string AddBuiltIn(const std::string& tty, const std::string& uartType) {
    const std::string platform = Add("platform", "serial8250." + tty, nullptr, {}, {});
    umockdev_testbed_set_attribute_link(m_bed, platform.c_str(), "driver", "../../../bus/platform/drivers/serial8250");
    std::vector<std::string> attributes;
    if (!uartType.empty()) attributes = {"type", uartType};
    return Add("tty", tty, platform.c_str(), attributes, {"DEVNAME", "/dev/" + tty});
  }

  // A virtual terminal: a tty with no device behind it.
  void AddVirtualTerminal(const std::string& tty) { Add("tty", tty, nullptr, {}, {"DEVNAME", "/dev/" + tty}); }

  void Event(const std::string& sysPath, const char* action) { umockdev_testbed_uevent(m_bed, sysPath.c_str(), action); }
  void Remove(const std::string& sysPath) { umockdev_testbed_remove_device(m_bed, sysPath.c_str()); }

 private:
  std::string Add(const char* subsystem, const std::string& name, const char* parent,
                  const std::vector<std::string>& attributes, const std::vector<std::string>& properties) {
    std::vector<const char*> attr;
    for (const std::string& a : attributes) attr.push_back(a.c_str());
    attr.push_back(nullptr);
    std::vector<const char*> prop;
    for (const std::string& p : properties) prop.push_back(p.c_str());
    prop.push_back(nullptr);
    gchar* path = umockdev_testbed_add_devicev(m_bed, subsystem, name.c_str(), parent,
                                               const_cast<gchar**>(attr.data()), const_cast<gchar**>(prop.data()));
    EXPECT_NE(path, nullptr) << "umockdev could not add " << name;
    std::string result = path ? path : "";
    g_free(path);
    return result;
  }

  UMockdevTestbed* m_bed;
};

const MockMachine::Adapter kFtdi{"1-2", "ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3", "ftdi_sio", 16};
// CH340s commonly have no serial number: only the socket tells two apart.
const MockMachine::Adapter kCh340{"1-3", "ttyUSB1", "1a86", "7523", "QinHeng", "USB Serial", "", "ch341-uart", -1};

const SerialPortInfo* Find(const std::vector<SerialPortInfo>& ports, const std::string& node) {
  auto it = std::find_if(ports.begin(), ports.end(), [&](const SerialPortInfo& p) { return p.devNode == node; });
  return it == ports.end() ? nullptr : &*it;
}

class SerialPortsTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload")) GTEST_SKIP() << kNoMock;
  }
};

TEST_F(SerialPortsTest, AdaptersAreListedWithTheirNamesAndParticulars) {
  MockMachine machine;
  machine.AddAdapter(kFtdi);
  machine.AddAdapter(kCh340);
  const auto listed = ListSerialPorts();
  ASSERT_TRUE(listed) << listed.Failure().reason;
  const std::vector<SerialPortInfo>& ports = *listed;
  ASSERT_EQ(ports.size(), 2u);

  const SerialPortInfo& ftdi = ports[0];
  EXPECT_EQ(ftdi.devNode, "/dev/ttyUSB0");
  EXPECT_EQ(ftdi.byId, "/dev/serial/by-id/usb-FTDI_A1B2C3-if00-port0");
  EXPECT_EQ(ftdi.byPath, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
  EXPECT_EQ(ftdi.manufacturer, "FTDI");
  EXPECT_EQ(ftdi.product, "FT232R USB UART");
  EXPECT_EQ(ftdi.vendorProduct, "0403:6001");
  EXPECT_EQ(ftdi.serial, "A1B2C3");
  EXPECT_EQ(ftdi.driver, "ftdi_sio");
  EXPECT_EQ(ftdi.StableName(), ftdi.byId) << "an adapter with a serial number is kept by it";
  EXPECT_EQ(ftdi.Description(), "FTDI FT232R USB UART (0403:6001, serial A1B2C3) on /dev/ttyUSB0, driver ftdi_sio");

  const SerialPortInfo& ch340 = ports[1];
  EXPECT_EQ(ch340.devNode, "/dev/ttyUSB1");
  EXPECT_EQ(ch340.serial, "");
  EXPECT_EQ(ch340.byId, "");
  EXPECT_EQ(ch340.driver, "ch341-uart");
  EXPECT_EQ(ch340.StableName(), "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0")
      << "without a serial number the adapter is kept by its socket";
  EXPECT_TRUE(ch340.IsNamed("/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0"));
  EXPECT_FALSE(ch340.IsNamed(ftdi.byPath));
}

TEST_F(SerialPortsTest, BuiltInPortsOnlyWithAUartAndVirtualTerminalsNever) {
  MockMachine machine;
  machine.AddBuiltIn("ttyS0", "4");   // a 16550A
  machine.AddBuiltIn("ttyS1", "0");   // the driver found no UART there
  machine.AddBuiltIn("ttyS2", "");    // nothing says
  machine.AddVirtualTerminal("tty1");
  const std::vector<SerialPortInfo> ports = ListSerialPorts().ValueOr({});
  const SerialPortInfo* real = Find(ports, "/dev/ttyS0");
  ASSERT_NE(real, nullptr);
  EXPECT_FALSE(real->unchecked);
  EXPECT_EQ(real->driver, "serial8250");
  EXPECT_EQ(Find(ports, "/dev/ttyS1"), nullptr) << "a port with no UART is no choice";
  const SerialPortInfo* unknown = Find(ports, "/dev/ttyS2");
  ASSERT_NE(unknown, nullptr);
  EXPECT_TRUE(unknown->unchecked);
  EXPECT_NE(unknown->Description().find("not checked"), std::string::npos) << unknown->Description();
  EXPECT_EQ(Find(ports, "/dev/tty1"), nullptr);
}

TEST_F(SerialPortsTest, LatencyTimerIsReadFromTheAdapterAndAbsentElsewhere) {
  MockMachine machine;
  machine.AddAdapter(kFtdi);
  machine.AddAdapter(kCh340);
  machine.AddBuiltIn("ttyS0", "4");
  EXPECT_EQ(AdapterLatencyTimerMs("ttyUSB0"), 16);
  EXPECT_EQ(AdapterLatencyTimerMs("ttyUSB1"), -1);
  EXPECT_EQ(AdapterLatencyTimerMs("ttyS0"), -1);
  EXPECT_EQ(AdapterLatencyTimerMs("../ttyUSB0"), -1);
}

std::vector<CSerialPortWatch::Event> WaitForEvents(CSerialPortWatch& watch, size_t count) {
  std::vector<CSerialPortWatch::Event> events;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (events.size() < count && std::chrono::steady_clock::now() < deadline) {
    pollfd entry{*watch.Descriptor(), POLLIN, 0};
    if (poll(&entry, 1, 100) > 0) {
      for (auto& e : watch.Take()) events.push_back(std::move(e));
    }
  }
  return events;
}

TEST_F(SerialPortsTest, PlugAndUnplugArriveAsEventsWithTheAdaptersNames) {
  MockMachine machine;
  CSerialPortWatch watch;
  ASSERT_TRUE(watch.Descriptor()) << watch.Descriptor().Failure().reason;
  const std::string tty = machine.AddAdapter(kFtdi);  // umockdev announces what it adds
  std::vector<CSerialPortWatch::Event> events = WaitForEvents(watch, 1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].added);
  EXPECT_EQ(events[0].port.devNode, "/dev/ttyUSB0");
  EXPECT_EQ(events[0].port.byId, "/dev/serial/by-id/usb-FTDI_A1B2C3-if00-port0");

  machine.Event(tty, "remove");
  events = WaitForEvents(watch, 1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_FALSE(events[0].added);
  EXPECT_TRUE(events[0].port.IsNamed("/dev/serial/by-id/usb-FTDI_A1B2C3-if00-port0"))
      << "a removed adapter is still known by the name the profile keeps";
}

}  // namespace
