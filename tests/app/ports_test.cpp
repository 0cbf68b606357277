// Choosing a device for a Com entry: the "Ports…" dialog's lists and what it
// stores, and the window taking the new mapping at once.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QScreen>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/dialog_template.h"
#include "app/ports_dlg.h"
#include "settings/port_map.h"
#include "window_fixture.h"

namespace {

// Adapters as udev would list them; the app tests have no udev of their own.
LineResult<std::vector<SerialPortInfo>> TwoAdapters() {
  SerialPortInfo ftdi;
  ftdi.devNode = "/dev/ttyUSB0";
  ftdi.byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
  ftdi.byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
  ftdi.manufacturer = "FTDI";
  ftdi.product = "FT232R USB UART";
  ftdi.vendorProduct = "0403:6001";
  ftdi.serial = "A1B2C3";
  ftdi.driver = "ftdi_sio";
  SerialPortInfo ch340;
  ch340.devNode = "/dev/ttyUSB1";
  ch340.byId = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";
  ch340.byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0";
  ch340.vendorProduct = "1a86:7523";
  ch340.driver = "ch341-uart";
  return std::vector<SerialPortInfo>{ftdi, ch340};
}

class PortsTest : public WindowTest {};

TEST_F(PortsTest, DialogShowsTheMapAndStoresTheAdaptersStableName) {
  if (const char* why = WhyNot(Need::kLinuxDevicePaths)) GTEST_SKIP() << why;
  StartWindow("[Ports]\nCom 3=/dev/null\nCom 4=rfc2217://[::1]:3001\n");
  std::vector<std::pair<int, std::string>> assigned;
  CPortsDlg dialog(m_profilePath, 2,
                   [&](int port, const std::string& path, std::string*) {
                     assigned.emplace_back(port, path);
                     return true;
                   },
                   TwoAdapters);
  auto* entries = dialog.findChild<QListWidget*>(QStringLiteral("comEntries"));
  auto* adapters = dialog.findChild<QListWidget*>(QStringLiteral("adapters"));
  auto* path = dialog.findChild<QLineEdit*>(QStringLiteral("devicePath"));
  auto* assign = dialog.findChild<QPushButton*>(QStringLiteral("assign"));
  ASSERT_TRUE(entries && adapters && path && assign);

  ASSERT_EQ(entries->count(), 4);
  EXPECT_EQ(entries->item(0)->text().toStdString(), "Com 1: " + m_linkPath + " — present");
  EXPECT_EQ(entries->item(2)->text(), QStringLiteral("Com 3: /dev/null — present"));
  EXPECT_EQ(entries->item(3)->text(), QStringLiteral("Com 4: rfc2217://[::1]:3001 — network line"));
  EXPECT_EQ(entries->currentRow(), 1) << "the window's Com entry is chosen first";
  EXPECT_EQ(assign->text(), QStringLiteral("&Assign to Com 2"));
  ASSERT_EQ(adapters->count(), 2);
  EXPECT_TRUE(adapters->item(0)->text().startsWith(QStringLiteral("FTDI FT232R USB UART (0403:6001, serial A1B2C3)")));

  adapters->setCurrentRow(0);
  EXPECT_EQ(path->text(), QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0"));
  adapters->setCurrentRow(1);
  EXPECT_EQ(path->text(), QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0"))
      << "an adapter without a serial number is kept by its socket";
  QTest::mouseClick(assign, Qt::LeftButton);
  path->setText(QStringLiteral("  /tmp/typed  "));
  entries->setCurrentRow(3);
  QTest::mouseClick(assign, Qt::LeftButton);
  EXPECT_EQ(assigned, (std::vector<std::pair<int, std::string>>{
                          {2, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0"}, {4, "/tmp/typed"}}));
}

TEST_F(PortsTest, AssigningTheCurrentEntryReopensAtOnceAndKeepsTheRestOfTheProfile) {
  StartWindow("; mine\n[Other]\nkey=value\n");
  const std::unique_ptr<sim::SimLine> other = StartOtherSim();
  std::string error;
  auto* combo = Inside().ControlAs<QComboBox>(ctl::kComCombo);
  EXPECT_EQ(combo->itemData(0, Qt::ToolTipRole).toString().toStdString(), m_linkPath);
  EXPECT_EQ(combo->itemData(1, Qt::ToolTipRole).toString().toStdString(), DefaultDevicePath(2));

  ASSERT_TRUE(Inside().AssignPort(1, other->SlavePath(), &error)) << error;
  EXPECT_TRUE(Inside().Link().IsPortOpen());
  EXPECT_EQ(Inside().Link().DevicePath(), other->SlavePath()) << "the link did not move to the new device";
  EXPECT_EQ(combo->itemData(0, Qt::ToolTipRole).toString().toStdString(), other->SlavePath());
  Click(ctl::kRunStop);
  EXPECT_TRUE(other->WaitForFrames(1, std::chrono::seconds(3))) << "commands go to the new device";

  const std::string profile = ReadProfile();
  EXPECT_NE(profile.find("; mine\n[Other]\nkey=value\n"), std::string::npos) << profile;
  EXPECT_NE(profile.find("Com 1=" + other->SlavePath()), std::string::npos) << profile;
  EXPECT_NE(profile.find("SEQ 7\\CH 3="), std::string::npos) << "the settings were lost: " << profile;

  EXPECT_FALSE(Inside().AssignPort(2, "/dev/tty\nUSB1", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadProfile(), profile) << "a refused path changed the profile";
}

// A typed path means the same device to every program, wherever it was
// started; a network address is kept as typed.
TEST_F(PortsTest, TypedPathsAreStoredAbsolute) {
  if (const char* why = WhyNot(Need::kLinuxDevicePaths)) GTEST_SKIP() << why;
  StartWindow();
  const std::string cwd = std::filesystem::current_path().string();
  ASSERT_NE(std::getenv("HOME"), nullptr);
  const std::string home = std::getenv("HOME");
  const std::pair<const char*, std::string> rows[] = {
      {"units", cwd + "/units"},
      {"./sub/../units", cwd + "/sub/../units"},
      {"/dev/serial/../ttyUSB3", "/dev/serial/../ttyUSB3"},
      {"tcp://lab-host:4001", "tcp://lab-host:4001"},
      {"~/units", home + "/units"},  // was taken for a folder named "~" in the current one
  };
  for (const auto& [typed, stored] : rows) {
    std::string assigned;
    CPortsDlg dialog(m_profilePath, 2,
                     [&](int, const std::string& path, std::string*) {
                       assigned = path;
                       return true;
                     },
                     TwoAdapters);
    dialog.findChild<QLineEdit*>(QStringLiteral("devicePath"))->setText(QString::fromUtf8(typed));
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("assign")), Qt::LeftButton);
    EXPECT_EQ(assigned, stored) << typed;
  }
}

// An address that cannot be one is refused with what is wrong, by the check
// dimlet-cli and the link make, and nothing is assigned.
TEST_F(PortsTest, AnAddressThatCannotBeOneIsRefused) {
  StartWindow();
  const std::pair<std::string, std::string> rows[] = {
      {"tcp://h:0", "Com 2 not changed: tcp://h:0: the port must be a number from 1 to 65535"},
      {"rfc2217://h:65536", "Com 2 not changed: rfc2217://h:65536: the port must be a number from 1 to 65535"},
      {"tcp://[::1", "Com 2 not changed: tcp://[::1: no closing ] after the IPv6 address"},
      {"ssh://host:22", "Com 2 not changed: ssh://host:22: ssh:// is no kind of line here: write a device path, "
                        "tcp://HOST:PORT or rfc2217://HOST:PORT"},
      {"tcp://" + std::string(300, 'h') + ":1",
       "Com 2 not changed: tcp://" + std::string(42, 'h') + "\u2026" + std::string(22, 'h') +
           ":1: the host name is longer than 253 characters"},
  };
  for (const auto& [typed, message] : rows) {
    SCOPED_TRACE(typed);
    bool assigned = false;
    CPortsDlg dialog(m_profilePath, 2,
                     [&](int, const std::string&, std::string*) {
                       assigned = true;
                       return true;
                     },
                     TwoAdapters);
    dialog.findChild<QLineEdit*>(QStringLiteral("devicePath"))->setText(QString::fromStdString(typed));
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("assign")), Qt::LeftButton);
    EXPECT_FALSE(assigned);
    auto* shown = dialog.findChild<QLabel*>(QStringLiteral("portsMessage"));
    const QString said = shown->toolTip().isEmpty() ? shown->text() : shown->toolTip();
    EXPECT_EQ(said.toStdString(), message);
  }
}

// A path far wider than the screen is shortened in the dialog's lines, never
// stretches it past the screen, and is shown whole in the tool tip.
TEST_F(PortsTest, AVeryLongPathKeepsTheDialogOnTheScreen) {
  StartWindow();
  const std::string longPath = "/tmp/" + std::string(5000, 'x');
  CPortsDlg dialog(m_profilePath, 2,
                   [&](int port, const std::string& path, std::string* error) {
                     return Inside().AssignPort(port, path, error);
                   },
                   TwoAdapters);
  dialog.findChild<QLineEdit*>(QStringLiteral("devicePath"))->setText(QString::fromStdString(longPath));
  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("assign")), Qt::LeftButton);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

  auto* entries = dialog.findChild<QListWidget*>(QStringLiteral("comEntries"));
  EXPECT_TRUE(entries->item(1)->toolTip().contains(QString::fromStdString(longPath)));
  EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("portsMessage"))->toolTip().contains(
      QString::fromStdString(longPath)));
  const QRect screen = dialog.screen()->availableGeometry();
  EXPECT_LE(dialog.width(), screen.width());
  for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
    EXPECT_TRUE(dialog.rect().contains(button->geometry())) << button->text().toStdString() << " is off the dialog";
  }
}

}  // namespace
