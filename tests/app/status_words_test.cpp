// What the status line tells the operator about a hostile profile: a device
// path shown as written, values that could not be read, and a port choice
// that needs no new reading of the file.
#include <QLabel>
#include <QTest>
#include <filesystem>

#include "app/dialog_template.h"
#include "settings/port_map.h"
#include "window_fixture.h"

class StatusWordsTest : public WindowTest {
 protected:
  // The status line's words; where its rows break depends on the system's font.
  QString Status() { return Inside().StatusLine()->text().replace(QLatin1Char('\n'), QLatin1Char(' ')); }
};

// As rich text, the path would show bold type or a picture instead of itself,
// or fake an "open" that is not true.
TEST_F(StatusWordsTest, DevicePathWithMarkupIsShownAsWritten) {
  const std::string path = "/dev/<b>x</b><img src=y>";
  StartWindow("", 1, path);
  EXPECT_EQ(Inside().StatusLine()->textFormat(), Qt::PlainText);
  // A path too long for its row is shortened in the middle and shown whole in
  // the tool tip; either way as written.
  const QString shown = Status() + Inside().StatusLine()->toolTip();
  EXPECT_TRUE(shown.contains(QString::fromStdString(path))) << shown.toStdString();
  EXPECT_TRUE(Status().startsWith("Com 1: /dev/<b>x")) << Status().toStdString();
}

TEST_F(StatusWordsTest, UnreadableValuesAreNamedUntilTheNextGoodSave) {
  StartWindow("[Settings\\LED]\nMax SQ=0x28\nSEQ 0\\CH 0=40 ;note\nSEQ 0\\CH 1=4 0\nSEQ 0\\CH 2=99\n");
  const QString shown = Status();
  EXPECT_TRUE(shown.contains(QStringLiteral("Max SQ \u201c0x28\u201d"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("SEQ 0\\CH 0 \u201c40 ;note\u201d"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("and 1 more"))) << shown.toStdString();
  EXPECT_TRUE(Inside().StatusLine()->toolTip().contains(QStringLiteral("SEQ 0\\CH 1 \u201c4 0\u201d")));
  EXPECT_FALSE(shown.contains(QStringLiteral("SEQ 0\\CH 2"))) << "a readable value was named";
  EXPECT_EQ(m_settings.seq.Cell(0, 0), 128);
  Inside().FlushSaves();
  EXPECT_TRUE(Status().contains(QStringLiteral("Max SQ"))) << "named no longer, though nothing was saved";

  Click(ctl::kSave);
  Inside().FlushSaves();
  EXPECT_FALSE(Status().contains(QStringLiteral("Unreadable"))) << Status().toStdString();
}

// A folder at the profile's place: the window runs on its defaults, and says
// so beside the device Com 1 then stands for, not as a save that failed.
TEST_F(StatusWordsTest, UnreadableProfileIsNamedBesideTheDefaultDevice) {
  std::filesystem::create_directory(m_profilePath);
  m_dlg = std::make_unique<CControllerDlg>(m_settings, m_profilePath, m_boxes);
  m_dlg->Start();
  const QString shown = Status();
  EXPECT_TRUE(shown.startsWith(QString::fromStdString("Com 1: " + DefaultDevicePath(1)))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("Profile not read, defaults used: "))) << shown.toStdString();
  EXPECT_FALSE(shown.contains(QStringLiteral("Settings not saved"))) << shown.toStdString();
}

// The port choice takes its device from the profile as the window read it;
// with the file gone unreadable it still opens the mapped device.
TEST_F(StatusWordsTest, ComChoiceUsesTheMapTheWindowAlreadyHolds) {
  StartSim();
  StartWindow("[Ports]\nCom 2=" + m_linkPath + "\n", 3, m_dir + "/no-such-device");
  ASSERT_FALSE(Inside().Link().IsPortOpen());
  std::filesystem::remove(m_profilePath);
  std::filesystem::create_directory(m_profilePath);
  ChooseComboEntry(ctl::kComCombo, 1);
  EXPECT_EQ(Inside().Link().DevicePath(), m_linkPath);
  EXPECT_TRUE(Inside().Link().IsPortOpen()) << Status().toStdString();
}
