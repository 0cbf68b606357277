// Fault drills through the real window: the device going away in the middle of
// a command, units that misbehave, a profile that cannot be written, and a
// second instance on the same port.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/dialog_template.h"
#include "support/files.h"
#include "support/write_fixtures.h"
#include "window_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Status(CControllerDlg& dlg) { return CControllerDlgTestAccess(dlg).StatusLine()->text().toStdString(); }

}  // namespace

class DrillTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    StartWindow();
    Frames(1);
    ForgetFrames();
  }

  // Runs an all-rows command while the simulator hangs up part-way through.
  double AllRowsWithHangUp(int buttonId) {
    Click(ctl::kAllRows);
    // Counted from the first frame's arrival, not from the click (which a
    // slow build may take longer than that to turn into bytes): the line
    // goes in the middle of the first row's wait for its answer and echo.
    std::thread pull([this] {
      m_sim->WaitForFrames(1, std::chrono::seconds(3));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      m_sim->HangUp();
    });
    const auto start = Clock::now();
    Click(buttonId);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    pull.join();
    return seconds;
  }

  void ExpectBackAfterReconnect() {
    // While the device is away the window answers at once: a command costs
    // its pauses, no wait on the missing device.
    const auto start = Clock::now();
    Click(ctl::kRunStop);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 0.5);
    std::string error;
    ASSERT_TRUE(m_sim->Reconnect(&error)) << error;
    ForgetFrames();
    ChooseComboEntry(ctl::kComCombo, 0);
    EXPECT_TRUE(Inside().Link().IsPortOpen()) << Status(*m_dlg);
    Click(ctl::kRunStop);
    EXPECT_EQ(Frames(1).size(), 1u) << "commands reach the unit again";
  }
};

TEST_F(DrillTest, DeviceLostDuringAllRowsDownloadIsShownAndCanBeChosenAgain) {
  const double seconds = AllRowsWithHangUp(ctl::kDownload);
  EXPECT_LT(seconds, 3.0) << "no wait past the link's bounds";
  EXPECT_FALSE(Inside().Link().IsPortOpen());
  EXPECT_NE(Status(*m_dlg).find(LostLineWords()), std::string::npos) << Status(*m_dlg);
  ExpectBackAfterReconnect();
}

TEST_F(DrillTest, DeviceLostDuringAllRowsUploadIsShownAndCanBeChosenAgain) {
  const double seconds = AllRowsWithHangUp(ctl::kUpload);
  EXPECT_LT(seconds, 3.0);
  EXPECT_FALSE(Inside().Link().IsPortOpen());
  EXPECT_NE(Status(*m_dlg).find(LostLineWords()), std::string::npos) << Status(*m_dlg);
  EXPECT_TRUE(m_boxes.texts.endsWith("Error4")) << "the rows after the loss are reported missing: "
                                                << m_boxes.texts.join(' ').toStdString();
  ExpectBackAfterReconnect();
}

TEST_F(DrillTest, SilentUnitLeavesTheRowAsItWasAndReportsEveryByte) {
  m_sim->SetSilent(true);
  Click(ctl::kUpload);
  EXPECT_EQ(m_boxes.texts, (QStringList{"Error1", "Error2", "Error3", "Error4"}));
  EXPECT_EQ(m_settings.seq.Row(0), (std::array<int32_t, 4>{128, 128, 128, 128}));
  EXPECT_TRUE(Inside().Link().IsPortOpen()) << "a silent unit is not a lost device";
}

// A unit answering twice, or noise between commands, is a line fault named
// in the status line: the next command is refused rather than let the
// stray bytes become a row, and the one after works.
TEST_F(DrillTest, StaleBytesAndDoubleAnswersNeverReachTheNextRow) {
  m_sim->SetUnitRow(0, 0, {1, 2, 3, 4});
  m_sim->SetUnitRow(0, 1, {5, 6, 7, 8});
  Click(ctl::kUpload);
  m_sim->SendStray({1, 2, 3, 4});  // the unit answers a second time
  QTest::qWait(20);
  ChooseComboEntry(ctl::kSequenceCombo, 1);
  Click(ctl::kUpload);
  EXPECT_NE(Status(*m_dlg).find("not sent: bytes the units did not"), std::string::npos) << Status(*m_dlg);
  EXPECT_EQ(m_settings.seq.Row(1), (std::array<int32_t, 4>{128, 128, 128, 128}));
  Click(ctl::kUpload);
  EXPECT_EQ(m_settings.seq.Row(0), (std::array<int32_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(m_settings.seq.Row(1), (std::array<int32_t, 4>{5, 6, 7, 8}));
}

TEST_F(DrillTest, LineNoiseBetweenFramesDoesNotDisturbTheUnits) {
  m_sim->SendStray({0xA0, 0x57, 0x13, 0x11, 0xFF, 0x00, 0x0D, 0x0A});
  QTest::qWait(80);  // past the unit's frame gap
  m_settings.seq.FillRow(0, 0x11);
  ChooseComboEntry(ctl::kSequenceCombo, 0);
  Click(ctl::kDownload);
  EXPECT_NE(Status(*m_dlg).find("not sent: bytes the units did not"), std::string::npos) << Status(*m_dlg);
  Click(ctl::kDownload);
  Click(ctl::kRunStop);
  const auto frames = AllFrames();
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(frames[frames.size() - 2], (Frame{0xA0, 0x57, 0x00, 0x11, 0x11, 0x11, 0x11}));
  EXPECT_EQ(frames.back(), (Frame{0xA0, 0x57, 0x52}));
  EXPECT_EQ(m_sim->Unit(0).rows[0], (std::array<int, 4>{0x11, 0x11, 0x11, 0x11}));
}

TEST_F(DrillTest, SecondInstanceOnTheSamePortSaysSoAndSendsNothing) {
  if (const char* why = WhyNot(Need::kExclusiveDevice)) GTEST_SKIP() << why;
  LedSettings otherSettings;
  RecordedBoxes otherBoxes;
  CControllerDlg second(otherSettings, m_profilePath, otherBoxes);
  second.Start();
  EXPECT_FALSE(CControllerDlgTestAccess(second).Link().IsPortOpen());
  EXPECT_NE(Status(second).find("in use by another program"), std::string::npos) << Status(second);
  CControllerDlgTestAccess(second).ControlAs<QAbstractButton>(ctl::kRunStop)->click();
  EXPECT_TRUE(AllFrames().empty()) << "not even the start-up command";
  Click(ctl::kRunStop);
  EXPECT_EQ(Frames(1).size(), 1u) << "the first instance still works";
}

// A profile folder that no write can change.
TEST_F(DrillTest, ReadOnlyProfileFolderKeepsTheFileAndSaysSo) {
  const std::string before = ReadProfile();
  testsupport::ReadOnlyFolder readOnly(m_dir);
  if (!readOnly.Made()) GTEST_SKIP() << readOnly.WhyNot();
  DragSlider(0, 10);
  Inside().FlushSaves();
  const std::string status = Status(*m_dlg);
  readOnly.Undo();
  EXPECT_NE(status.find("Settings not saved:"), std::string::npos) << status;
  EXPECT_EQ(ReadProfile(), before) << "the old file is intact";
  EXPECT_GT(m_settings.seq.Cell(0, 0), 128) << "the window keeps the change";

  Click(ctl::kSave);
  Inside().FlushSaves();
  EXPECT_EQ(Status(*m_dlg).find("Settings not saved"), std::string::npos) << "the next good save clears it";
}

TEST_F(DrillTest, FullDiskKeepsTheFileAndSaysSo) {
  const std::string mountPoint = m_dir + "/small";
  std::filesystem::create_directory(mountPoint);
  testsupport::SmallDisk disk(mountPoint, 16 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << disk.WhyNot();
  const std::string profile = mountPoint + "/dimlet.ini";
  testsupport::WriteFile(profile, "[Ports]\nCom 1=" + m_linkPath + "\n");
  m_dlg.reset();
  m_dlg = std::make_unique<CControllerDlg>(m_settings, profile, m_boxes);
  m_dlg->Start();
  Inside().FlushSaves();
  const std::string before = testsupport::ReadFile(profile);
  disk.Fill();
  Click(ctl::kSave);
  Inside().FlushSaves();
  const std::string status = Status(*m_dlg);
  const std::string now = testsupport::ReadFile(profile);
  m_dlg.reset();
  EXPECT_NE(status.find("Settings not saved:"), std::string::npos) << status;
  EXPECT_EQ(now, before);
}
