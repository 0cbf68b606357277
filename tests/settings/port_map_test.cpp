// The device map in the profile's [Ports] section.
#include <gtest/gtest.h>

#include "settings/port_map.h"
#include "settings/profile_store.h"
#include "support/files.h"
#include "support/temp_folder.h"

using namespace testsupport;

TEST(PortMap, EntriesAreFoundWhateverTheirCaseOnlyInPortsElseTheUsbAdapter) {
  TempFolder folder;
  const std::string path = folder.File("dimlet.ini");
  WriteFile(path,
            "[Settings\\LED]\nCom 1=/dev/wrong\n"
            "[ports]\r\ncom 2 = /dev/serial/by-id/usb-FTDI_A1 \r\nCom 3=\r\n");
  EXPECT_EQ(PortDevicePath(path, 1), DefaultDevicePath(1));
  EXPECT_EQ(PortDevicePath(path, 2), "/dev/serial/by-id/usb-FTDI_A1");
  EXPECT_EQ(PortDevicePath(path, 3), DefaultDevicePath(3)) << "an empty entry must not name a device";
  EXPECT_EQ(PortDevicePath(folder.File("none.ini"), 4), DefaultDevicePath(4));
  EXPECT_EQ(PortDevicePath(folder.Path(), 2), DefaultDevicePath(2));
}

// Choosing a device for a Com entry rewrites only that key, keeps the rest of
// a hand-edited file byte for byte, and refuses what the reader would not
// read back the same.
TEST(PortMap, SettingAnEntryKeepsTheRestOfTheFileAndReadsBackTheSame) {
  TempFolder folder;
  const std::string path = folder.File("dimlet.ini");
  const std::string before =
      "; kept by hand\r\n[Settings\\LED]\r\nCom Port Addr=2\r\n[Ports]\r\nCom 1 = /dev/ttyUSB7\r\nOther=x\r\n";
  WriteFile(path, before);
  std::string error;
  ASSERT_TRUE(SetPortDevicePath(path, 2, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", &error))
      << error;
  ASSERT_TRUE(SetPortDevicePath(path, 1, "/dev/serial/by-id/usb-FTDI_A1-if00-port0", &error)) << error;
  EXPECT_EQ(ReadFile(path),
            "; kept by hand\r\n[Settings\\LED]\r\nCom Port Addr=2\r\n[Ports]\r\n"
            "Com 1 = /dev/serial/by-id/usb-FTDI_A1-if00-port0\r\nOther=x\r\n"
            "Com 2=/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0\r\n");
  EXPECT_EQ(PortDevicePath(path, 2), "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");

  const std::string kept = ReadFile(path);
  for (const std::string& bad : {std::string("/dev/tty\nUSB0"), std::string(" /dev/ttyUSB0"),
                                std::string("/dev/ttyUSB0\t"), std::string("ttyUSB0")}) {
    error.clear();
    EXPECT_FALSE(SetPortDevicePath(path, 3, bad, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(path), kept) << "a refused path changed the file";
  }
  // A new profile is made with just the section.
  ASSERT_TRUE(SetPortDevicePath(folder.File("new/dimlet.ini"), 4, "/tmp/units", &error)) << error;
  EXPECT_EQ(PortDevicePath(folder.File("new/dimlet.ini"), 4), "/tmp/units");
  // The system's own name for a device, typed or chosen from the adapters
  // (COM7 on Windows), is stored as it is.
  std::string stored;
  ASSERT_TRUE(StoredDevicePath(DefaultDevicePath(7), &stored, &error)) << error;
  EXPECT_EQ(stored, DefaultDevicePath(7));
  ASSERT_TRUE(SetPortDevicePath(path, 3, stored, &error)) << error;
  EXPECT_EQ(PortDevicePath(path, 3), DefaultDevicePath(7));
}
