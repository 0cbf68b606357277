// The device map in the profile's [Ports] section.
#include <gtest/gtest.h>

#include "settings/port_map.h"
#include "support/files.h"
#include "support/temp_folder.h"

using namespace testsupport;

TEST(PortMap, EntriesAreFoundWhateverTheirCaseOnlyInPortsElseTheUsbAdapter) {
  TempFolder folder;
  const std::string path = folder.File("dimlet.ini");
  WriteFile(path,
            "[Settings\\LED]\nCom 1=/dev/wrong\n"
            "[ports]\r\ncom 2 = /dev/serial/by-id/usb-FTDI_A1 \r\nCom 3=\r\n");
  EXPECT_EQ(PortDevicePath(path, 1), "/dev/ttyUSB0");
  EXPECT_EQ(PortDevicePath(path, 2), "/dev/serial/by-id/usb-FTDI_A1");
  EXPECT_EQ(PortDevicePath(path, 3), "/dev/ttyUSB2") << "an empty entry must not name a device";
  EXPECT_EQ(PortDevicePath(folder.File("none.ini"), 4), "/dev/ttyUSB3");
  EXPECT_EQ(PortDevicePath(folder.Path(), 2), "/dev/ttyUSB1");
}
