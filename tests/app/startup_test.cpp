// Start-up and the ways the window ends.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <fstream>
#include <sstream>

#include "app/dialog_template.h"
#include "app/slider.h"
#include "window_fixture.h"

namespace {

int CountKeysOfSection(const std::string& text, const std::string& section) {
  std::istringstream in(text);
  std::string line;
  bool inside = false;
  int keys = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') inside = line == "[" + section + "]";
    else if (inside && line.find('=') != std::string::npos) ++keys;
  }
  return keys;
}

QString ComboText(CControllerDlg& dlg, int id) {
  return CControllerDlgTestAccess(dlg).ControlAs<QComboBox>(id)->currentText();
}

// The image format plugins mapped into this process, one path per line.
std::string LoadedImagePlugins() {
  std::ifstream maps("/proc/self/maps");
  std::string line, found;
  while (std::getline(maps, line)) {
    const size_t at = line.find("/imageformats/");
    if (at != std::string::npos && found.find(line.substr(at)) == std::string::npos) found += line.substr(at) + "\n";
  }
  return found;
}

}  // namespace

class StartupTest : public WindowTest {};

TEST_F(StartupTest, BuildingTheWindowTouchesNeitherProfileNorLineUntilStart) {
  StartSim();
  const std::string profileText = "[Ports]\nCom 1=" + m_linkPath + "\n";
  std::ofstream(m_profilePath, std::ios::binary) << profileText;
  m_dlg = std::make_unique<CControllerDlg>(m_settings, m_profilePath, m_boxes);
  EXPECT_FALSE(Inside().Link().IsPortOpen());
  EXPECT_TRUE(AllFrames().empty());
  EXPECT_EQ(ReadProfile(), profileText) << "nothing loaded or written back yet";

  m_dlg->Start();
  EXPECT_TRUE(Inside().Link().IsPortOpen());
  EXPECT_EQ(AllFrames(), (std::vector<Frame>{{0xA0, 0x57, 0x51, 0x08}}));
  m_dlg->Start();
  EXPECT_EQ(AllFrames().size(), 1u) << "a second start runs nothing again";
}

// Qt asks every image plugin whether it reads a picture that is loaded by
// name alone; the window's pictures, and the style's frame picture that
// every group box is drawn with, are decoded as PNG without asking.
TEST_F(StartupTest, PaintingTheWindowLoadsNoImagePlugin) {
  if (const char* why = WhyNot(Need::kLoadedLibraryList)) GTEST_SKIP() << why;
  if (!LoadedImagePlugins().empty()) GTEST_SKIP() << "an earlier test in this process loaded image plugins";
  StartWindow();
  m_dlg->repaint();
  EXPECT_EQ(LoadedImagePlugins(), "");
}

TEST_F(StartupTest, FreshProfileShowsDefaultsAndSendsOnlyTheHighestSequence) {
  StartWindow();
  const std::string profile = ReadProfile();
  EXPECT_EQ(CountKeysOfSection(profile, "Settings\\LED"), 34) << profile;
  EXPECT_EQ(profile.find("Num Of Channel"), std::string::npos) << "written by the first save only";
  EXPECT_NE(profile.find("SEQ 7\\CH 3=128"), std::string::npos);

  const QStringList lines = ListLines();
  ASSERT_EQ(lines.size(), 8);
  for (int row = 0; row < 8; ++row)
    EXPECT_EQ(lines[row], QString("SEQ- %1. 1= 128, 2= 128, 3= 128, 4= 128").arg(row + 1, 2));
  EXPECT_EQ(SelectedListLine(), 0);
  EXPECT_EQ(ComboText(*m_dlg, ctl::kComCombo), "Com 1");
  EXPECT_EQ(ComboText(*m_dlg, ctl::kUnitCombo), "KIVO 0");
  EXPECT_EQ(ComboText(*m_dlg, ctl::kSequenceCombo), "Sequent 1");
  for (int channel = 0; channel < 4; ++channel) EXPECT_EQ(Inside().Slider(channel)->GetValue(), 128);
  EXPECT_EQ(Text(ctl::kCh1Value), "128");
  EXPECT_EQ(Text(ctl::kMaxSqEdit), "8");
  EXPECT_EQ(Text(ctl::kNewIdEdit), "0");

  EXPECT_EQ(AllFrames(), (std::vector<Frame>{{0xA0, 0x57, 0x51, 0x08}}));
  EXPECT_EQ(m_sim->ReceivedBytes(), (std::vector<uint8_t>{0xA0, 0x57, 0x51, 0x08})) << "nothing else on the wire";
  EXPECT_TRUE(Inside().Link().IsPortOpen());
  EXPECT_TRUE(Inside().StatusLine()->text().contains("Com 1")) << Inside().StatusLine()->text().toStdString();
  EXPECT_TRUE(Inside().StatusLine()->text().contains("open"));
}

TEST_F(StartupTest, StartsOnTheSavedComEntryAndTreatsOneWithoutAnEntryAsCom1) {
  StartWindow("[Settings\\LED]\nCom Port Addr=3\nMax SQ=5\n", 3);
  EXPECT_EQ(ComboText(*m_dlg, ctl::kComCombo), "Com 3");
  EXPECT_TRUE(Inside().Link().IsPortOpen());
  EXPECT_EQ(Frames(1).at(0), (Frame{0xA0, 0x57, 0x51, 0x05}));
  m_dlg.reset();

  StartWindow("[Settings\\LED]\nCom Port Addr=9\n");
  EXPECT_EQ(ComboText(*m_dlg, ctl::kComCombo), "Com 1");
  EXPECT_TRUE(Inside().Link().IsPortOpen());
}

TEST_F(StartupTest, StoredCellsOutsideTheSliderRangeStayInTheTable) {
  StartWindow("[Settings\\LED]\nSEQ 0\\CH 0=1000\nSEQ 0\\CH 1=-5\n");
  EXPECT_EQ(m_settings.seq.Cell(0, 0), 1000);
  EXPECT_EQ(ListLines()[0], "SEQ-  1. 1=1000, 2=  -5, 3= 128, 4= 128");
  EXPECT_EQ(Text(ctl::kCh1Value), "1000");
  EXPECT_EQ(Inside().Slider(0)->GetValue(), 255);
  EXPECT_NE(ReadProfile().find("SEQ 0\\CH 0=1000"), std::string::npos) << "showing it did not save it clamped";
}

TEST_F(StartupTest, PortThatCannotOpenStillShowsTheWholeWindowAndSaysWhy) {
  StartWindow("", 1, m_dir + "/no-such-device");
  EXPECT_TRUE(m_dlg->isVisible());
  EXPECT_EQ(ListLines().size(), 8);
  EXPECT_FALSE(Inside().Link().IsPortOpen());
  const QString status = Inside().StatusLine()->text();
  EXPECT_TRUE(status.contains("Com 1")) << status.toStdString();
  // The path may be elided to fit its row; the tool tip has it whole.
  EXPECT_TRUE(status.contains("no-such-device")) << status.toStdString();
  EXPECT_TRUE(Inside().StatusLine()->toolTip().contains(QString::fromStdString(m_dir + "/no-such-device")) ||
              status.contains(QString::fromStdString(m_dir + "/no-such-device")))
      << Inside().StatusLine()->toolTip().toStdString();
  EXPECT_TRUE(status.contains("no such device")) << status.toStdString();

  Click(ctl::kUpload);
  EXPECT_EQ(m_boxes.texts, (QStringList{"Error1", "Error2", "Error3", "Error4"}));
  EXPECT_TRUE(m_sim->ReceivedBytes().empty());
}

TEST_F(StartupTest, DeviceHeldByAnotherProgramIsReportedAndNothingIsSent) {
  if (const char* why = WhyNot(Need::kExclusiveDevice)) GTEST_SKIP() << why;
  StartSim();
  CSerialLink other([this](int32_t) { return m_linkPath; });
  ASSERT_EQ(other.OpenPort(1, 9600), 1);
  StartWindow();
  EXPECT_FALSE(Inside().Link().IsPortOpen());
  EXPECT_TRUE(Inside().StatusLine()->text().contains("in use by another program"))
      << Inside().StatusLine()->text().toStdString();
  Click(ctl::kRunStop);
  EXPECT_TRUE(AllFrames().empty());
}

TEST_F(StartupTest, EnterPressesExitWhichClosesThePortUnlessAnotherButtonHasFocus) {
  StartWindow();
  ForgetFrames();
  Inside().Control(ctl::kSave)->setFocus();
  QTest::keyClick(Inside().Control(ctl::kSave), Qt::Key_Return);
  EXPECT_TRUE(m_dlg->isVisible()) << "Enter pressed the focused Save button, not Exit";
  EXPECT_EQ(Frames(1).at(0), (Frame{0xA0, 0x57, 0x53}));

  Inside().ControlAs<QLineEdit>(ctl::kNewIdEdit)->setFocus();
  QTest::keyClick(Inside().Control(ctl::kNewIdEdit), Qt::Key_Return);
  EXPECT_FALSE(m_dlg->isVisible());
  EXPECT_EQ(m_dlg->result(), QDialog::Accepted);
  EXPECT_FALSE(Inside().Link().IsPortOpen());
}

TEST_F(StartupTest, EscapeEndsTheCancelWayAndTheLinkClosesWithTheWindow) {
  StartWindow();
  QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
  EXPECT_FALSE(m_dlg->isVisible());
  EXPECT_EQ(m_dlg->result(), QDialog::Rejected);
  m_dlg.reset();
  CSerialLink next([this](int32_t) { return m_linkPath; });
  EXPECT_EQ(next.OpenPort(1, 9600), 1) << "the port was released";
}
