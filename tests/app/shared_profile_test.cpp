// Two windows on one profile: each save writes only what its window changed,
// so neither undoes the other's change without a word; and a change whose
// save failed is not forgotten by the next one.
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QSlider>
#include <QTest>

#include "app/slider.h"
#include "support/files.h"
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
  ASSERT_EQ(::rename(m_profilePath.c_str(), (m_profilePath + ".away").c_str()), 0);
  ASSERT_EQ(::mkdir(m_profilePath.c_str(), 0700), 0);
  Press(*m_dlg, 0, Qt::Key_End);
  ASSERT_NE(StatusOf(*m_dlg).find("Settings not saved"), std::string::npos) << StatusOf(*m_dlg);

  ASSERT_EQ(::rmdir(m_profilePath.c_str()), 0);
  ASSERT_EQ(::rename((m_profilePath + ".away").c_str(), m_profilePath.c_str()), 0);
  Press(*m_dlg, 1, Qt::Key_Home);
  const std::string profile = ReadProfile();
  EXPECT_NE(profile.find("SEQ 0\\CH 0=255\n"), std::string::npos) << "the change whose save failed was lost:\n"
                                                                    << profile;
  EXPECT_NE(profile.find("SEQ 0\\CH 1=0\n"), std::string::npos) << profile;
  EXPECT_EQ(StatusOf(*m_dlg).find("Settings not saved"), std::string::npos) << StatusOf(*m_dlg);
}

}  // namespace
