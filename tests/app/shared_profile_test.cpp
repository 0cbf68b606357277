// Two windows on one profile: each save writes only what its window changed,
// so neither undoes the other's change without a word, nor an upload the
// other's older change; and a change whose save failed is not forgotten by
// the next one.
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <filesystem>

#include "app/dialog_template.h"
#include "app/slider.h"
#include "support/files.h"
#include "support/row_names.h"
#include "window_fixture.h"

namespace {

class SharedProfileTest : public WindowTest {
 protected:
  // Sets channel `channel` of the current row of `dlg` by keyboard, as an
  // operator does; the change is committed and saved.
  static void Press(CControllerDlg& dlg, int channel, Qt::Key key) {
    QSlider* slider = CControllerDlgTestAccess(dlg).Slider(channel)->Widget();
    slider->setFocus();
    QTest::keyClick(slider, key);
    CControllerDlgTestAccess(dlg).FlushSaves();
  }
  static std::string StatusOf(CControllerDlg& dlg) {
    return CControllerDlgTestAccess(dlg).StatusLine()->accessibleDescription().toStdString();
  }
};

TEST_F(SharedProfileTest, EachWindowSavesOnlyItsOwnChangesAndSaysWhenBothChangedOne) {
  StartWindow();
  // The second window, started before the first one's change.
  LedSettings otherSettings;
  RecordedBoxes otherBoxes;
  CControllerDlg other(otherSettings, m_profilePath, otherBoxes);
  other.Start();

  Press(*m_dlg, 0, Qt::Key_End);   // CH1 of Sequent 1 to 255
  Press(other, 1, Qt::Key_Home);   // then CH2 in the window that still shows 128 for CH1
  const std::string profile = ReadProfile();
  EXPECT_NE(profile.find("SEQ 0\\CH 0=255\n"), std::string::npos) << "the first window's change was lost:\n" << profile;
  EXPECT_NE(profile.find("SEQ 0\\CH 1=0\n"), std::string::npos) << profile;
  EXPECT_EQ(otherSettings.seq.Cell(0, 0), 255) << "the second window still shows what the file no longer holds";
  EXPECT_EQ(CControllerDlgTestAccess(other).Slider(0)->GetValue(), 255);
  EXPECT_EQ(StatusOf(other).find("changed elsewhere"), std::string::npos) << StatusOf(other);

  // Both change the same cell: the later change is kept, and its window says so.
  Press(*m_dlg, 2, Qt::Key_Home);
  Press(other, 2, Qt::Key_End);
  EXPECT_NE(ReadProfile().find("SEQ 0\\CH 2=255\n"), std::string::npos) << ReadProfile();
  EXPECT_NE(StatusOf(other).find("Profile also changed elsewhere; this window's value saved: SEQ 0\\CH 2"),
            std::string::npos)
      << StatusOf(other);
}

// A save that failed (here: a folder where the file should be) leaves its
// change to go out with the next save, even though that one changes another cell.
TEST_F(SharedProfileTest, AChangeWhoseSaveFailedGoesOutWithTheNextSave) {
  StartWindow();
  std::filesystem::rename(m_profilePath, m_profilePath + ".away");
  ASSERT_TRUE(std::filesystem::create_directory(m_profilePath));
  Press(*m_dlg, 0, Qt::Key_End);
  ASSERT_NE(StatusOf(*m_dlg).find("Settings not saved"), std::string::npos) << StatusOf(*m_dlg);

  ASSERT_TRUE(std::filesystem::remove(m_profilePath));
  std::filesystem::rename(m_profilePath + ".away", m_profilePath);
  Press(*m_dlg, 1, Qt::Key_Home);
  const std::string profile = ReadProfile();
  EXPECT_NE(profile.find("SEQ 0\\CH 0=255\n"), std::string::npos) << "the change whose save failed was lost:\n"
                                                                    << profile;
  EXPECT_NE(profile.find("SEQ 0\\CH 1=0\n"), std::string::npos) << profile;
  EXPECT_EQ(StatusOf(*m_dlg).find("Settings not saved"), std::string::npos) << StatusOf(*m_dlg);
}

// An upload is the window's newest knowledge of the cells it read: a save
// after it keeps the unit's values over an older change in the file, while a
// change saved to the file after the upload is later still, and wins, with
// the window saying so. The other window sets CH1 of Sequent 1 to 0; the
// profile holds 128.
struct UploadCase {
  std::string name;
  int unitValue;    // CH1 of Sequent 1 on unit 0
  bool otherFirst;  // the other window's change comes before the upload, or after it
  int kept;         // CH1 in the profile and in the window after the save
  bool named;       // the status line names the cell as changed after the upload
};

class UploadThenSaveTest : public SharedProfileTest, public testing::WithParamInterface<UploadCase> {};

TEST_P(UploadThenSaveTest, SaveKeepsTheUploadUnlessTheFileChangedLater) {
  const UploadCase& c = GetParam();
  StartWindow();
  m_sim->SetUnitRow(0, 0, {c.unitValue, 128, 128, 128});
  LedSettings otherSettings;
  RecordedBoxes otherBoxes;
  CControllerDlg other(otherSettings, m_profilePath, otherBoxes);
  other.Start();

  if (c.otherFirst) Press(other, 0, Qt::Key_Home);
  Click(ctl::kUpload);
  ASSERT_EQ(m_settings.seq.Cell(0, 0), c.unitValue);
  if (!c.otherFirst) Press(other, 0, Qt::Key_Home);
  Click(ctl::kSave);
  Inside().FlushSaves();

  EXPECT_NE(ReadProfile().find("SEQ 0\\CH 0=" + std::to_string(c.kept) + "\n"), std::string::npos) << ReadProfile();
  EXPECT_EQ(m_settings.seq.Cell(0, 0), c.kept);
  EXPECT_EQ(Inside().Slider(0)->GetValue(), c.kept);
  const bool named =
      StatusOf(*m_dlg).find("Profile changed after the upload; its value kept: SEQ 0\\CH 0") != std::string::npos;
  EXPECT_EQ(named, c.named) << StatusOf(*m_dlg);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, UploadThenSaveTest,
    testing::Values(UploadCase{"OtherWindowBeforeTheUpload", 128, true, 128, false},
                    UploadCase{"OtherWindowAfterTheUpload", 200, false, 0, true},
                    UploadCase{"OtherWindowAfterAnUploadOfWhatTheWindowHeld", 128, false, 0, true}),
    testsupport::RowName{});

}  // namespace
