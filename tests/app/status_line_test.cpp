// The status line in its fixed box: with the long /dev/serial/by-id names the
// README recommends and a failed save, every line keeps a row of its own,
// nothing runs past the box, and the whole words are in the tool tip.
#include <QFontMetrics>
#include <QLabel>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/dialog_template.h"
#include "app/status_layout.h"
#include "window_fixture.h"

namespace {

// The longest by-id names seen in the field are about 70 characters.
const std::string kByIdName = "usb-Silicon_Labs_CP2102N_USB_to_UART_Bridge_Controller_6a1f8e0c3b2d-if00-port0";

struct StatusCase {
  const char* name;
  bool deviceThere;    // the by-id name leads to the simulator, or to nothing
  const char* state;   // the row that says how the link is
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusLineTest : public WindowTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(StatusLineTest, LongDevicePathAndFailedSaveEachKeepARowInsideTheBox) {
  const std::string byId = m_dir + "/serial/by-id";
  std::filesystem::create_directories(byId);
  const std::string device = byId + "/" + kByIdName;
  StartSim();
  if (GetParam().deviceThere) {
    if (const char* why = WhyNot(Need::kLinuxDevicePaths)) GTEST_SKIP() << why;
    std::filesystem::create_symlink(m_linkPath, device);
  }
  StartWindow("", 1, device);

  // A folder where the profile was: the next save fails.
  std::filesystem::remove(m_profilePath);
  std::filesystem::create_directory(m_profilePath);
  Click(ctl::kSave);
  Inside().FlushSaves();

  QLabel* status = Inside().StatusLine();
  const QStringList rows = status->text().split('\n');
  const QFontMetrics metrics(status->font());
  const QRect box = status->contentsRect();
  EXPECT_LE(rows.size() * metrics.lineSpacing(), box.height()) << status->text().toStdString();
  for (const QString& row : rows) EXPECT_LE(metrics.horizontalAdvance(row), box.width()) << row.toStdString();

  ASSERT_GE(rows.size(), 3) << status->text().toStdString();
  EXPECT_TRUE(rows[0].startsWith("Com 1: ")) << rows[0].toStdString();
  EXPECT_TRUE(rows[0].endsWith("port0")) << "the path is elided in the middle: " << rows[0].toStdString();
  EXPECT_TRUE(rows[0].contains(QChar(0x2026))) << rows[0].toStdString();
  EXPECT_TRUE(rows[1].startsWith(GetParam().state)) << "the state keeps its row: " << rows[1].toStdString();
  EXPECT_TRUE(rows[2].startsWith("Settings not saved: ")) << rows[2].toStdString();

  const QString tip = status->toolTip();
  EXPECT_TRUE(tip.contains(QString::fromStdString(device))) << "the whole path: " << tip.toStdString();
  EXPECT_TRUE(tip.contains("Settings not saved: ")) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QString::fromStdString(m_profilePath))) << "the whole reason: " << tip.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Links, StatusLineTest,
                         testing::Values(StatusCase{"Open", true, "open, 9600 baud"},
                                         StatusCase{"NoSuchDevice", false,
                                                    "not open: no such device; Ctrl+P: Ports\u2026"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, StatusBoxHasRoomForOneMoreNoticeBesidesPathStateAndSaveFailure) {
  StartWindow();
  QLabel* status = Inside().StatusLine();
  const QRect box = status->contentsRect();
  const int rows = box.height() / status->fontMetrics().lineSpacing();
  const QStringList lines = {"Com 1: /dev/serial/by-id/" + QString::fromStdString(kByIdName), "open, 9600 baud",
                             "Settings not saved: cannot write the profile: Read-only file system",
                             "A notice of one more kind"};
  const FittedStatus fitted = FitStatusLines(lines, status->font(), box.width(), rows);
  const QStringList shown = fitted.text.split('\n');
  ASSERT_EQ(shown.size(), 4) << fitted.text.toStdString();
  EXPECT_EQ(shown[1], lines[1]);
  EXPECT_TRUE(shown[2].startsWith("Settings not saved: "));
  EXPECT_EQ(shown[3], lines[3]);
  EXPECT_TRUE(fitted.shortened);

  // With a row to spare, a reason a little too long for one row wraps
  // onto it instead of being cut.
  const QStringList three = {lines[0], lines[1], "Settings not saved: the disk is full (No space left on device)"};
  const FittedStatus roomy = FitStatusLines(three, status->font(), box.width(), rows);
  EXPECT_TRUE(roomy.text.simplified().contains("(No space left on device)")) << roomy.text.toStdString();
}

}  // namespace
