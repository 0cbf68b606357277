// The controls as an operator's mouse and keys meet them: only list choices
// act on the Com combo, sliders report the value the thumb stands at and no
// change for a thumb let go in place, the wheel acts only on the focused
// control, the list's scroll bar shows only when needed, and the window is a
// task bar window.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include "app/dialog_template.h"
#include "app/slider.h"
#include "support/files.h"
#include "window_fixture.h"

namespace {

void Wheel(QWidget* widget, int notches) {
  const QPointF at = QPointF(widget->rect().center());
  QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &event);
}

QRect ThumbOf(QSlider* slider) {
  QStyleOptionSlider option;
  option.initFrom(slider);
  option.orientation = slider->orientation();
  option.minimum = slider->minimum();
  option.maximum = slider->maximum();
  option.sliderPosition = slider->sliderPosition();
  option.sliderValue = slider->value();
  option.upsideDown = !slider->invertedAppearance();
  option.tickPosition = slider->tickPosition();
  option.tickInterval = slider->tickInterval();
  return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
}

}  // namespace

class ControlsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    StartWindow();
    Frames(1);
    ForgetFrames();
    m_inode = testsupport::InodeOf(m_profilePath);
    m_saved = ReadProfile();
  }
  // Nothing reached the profile or the line, and the link is still Com 1.
  void ExpectNothingChanged(const std::string& what) {
    Inside().FlushSaves();
    // A save replaces the file: a new inode means it was written even when
    // the words came out the same.
    EXPECT_EQ(testsupport::InodeOf(m_profilePath), m_inode) << what << ": the profile was written";
    EXPECT_EQ(ReadProfile(), m_saved) << what;
    EXPECT_TRUE(AllFrames().empty()) << what << ": something was sent";
    EXPECT_TRUE(Inside().Link().IsPortOpen()) << what << ": the link moved";
    EXPECT_TRUE(Inside().StatusLine()->text().startsWith("Com 1:")) << what;
  }
  QComboBox* ComCombo() const { return Inside().ControlAs<QComboBox>(ctl::kComCombo); }

  unsigned long m_inode = 0;
  std::string m_saved;
};

TEST_F(ControlsTest, TextTypedIntoTheComComboIsNeitherCompletedNorActedOn) {
  for (const QString& typed : {QString("C"), QString("Com 4"), QString("Com 2"), QString("com 3"), QString("2")}) {
    QComboBox* combo = ComCombo();
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(combo, typed);
    EXPECT_EQ(combo->lineEdit()->text(), typed) << "nothing completes what is typed";
    // Leaving the field, as the operator does with Tab.
    QTest::keyClick(combo, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), combo);
    EXPECT_EQ(combo->currentIndex(), 0) << typed.toStdString();
    EXPECT_EQ(combo->lineEdit()->text(), "Com 1") << "the field shows the entry in use again";
    ExpectNothingChanged("typed \"" + typed.toStdString() + "\"");
  }
}

TEST_F(ControlsTest, AnEntryPickedFromTheDropDownIsAChoice) {
  QComboBox* combo = ComCombo();
  combo->showPopup();
  QAbstractItemView* view = combo->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(2, 0)).center());
  EXPECT_EQ(combo->currentIndex(), 2);
  EXPECT_NE(ReadProfile().find("Com Port Addr=3\n"), std::string::npos);
  EXPECT_TRUE(Inside().StatusLine()->text().startsWith("Com 3:")) << Inside().StatusLine()->text().toStdString();
}

TEST_F(ControlsTest, TrackingShowsTheValueTheThumbStandsAt) {
  QSlider* slider = Inside().Slider(1)->Widget();
  std::vector<std::pair<int, int>> seen;  // (box, thumb) after each move
  QObject::connect(Inside().Slider(1), &CSlider::Tracking, [&] {
    QTimer::singleShot(0, [&] { seen.emplace_back(Text(ctl::kCh2Value).toInt(), slider->sliderPosition()); });
  });
  DragSlider(1, 40, [&] {
    QApplication::processEvents();
    EXPECT_EQ(Text(ctl::kCh2Value).toInt(), slider->sliderPosition()) << "the value box lags the thumb";
    EXPECT_EQ(m_settings.seq.Cell(0, 1), slider->sliderPosition()) << "the table lags the thumb";
  });
  QApplication::processEvents();
  ASSERT_FALSE(seen.empty());
  for (const auto& [box, thumb] : seen) EXPECT_EQ(box, thumb);
}

TEST_F(ControlsTest, AClickOnTheThumbWithoutAMoveIsNoChange) {
  ASSERT_EQ(SelectedListLine(), 0);
  for (int channel = 0; channel < 4; ++channel) {
    QSlider* slider = Inside().Slider(channel)->Widget();
    const QPoint thumb = ThumbOf(slider).center();
    QTest::mousePress(slider, Qt::LeftButton, {}, thumb);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, thumb);
    EXPECT_EQ(slider->value(), 128) << "the click landed beside the thumb";
    EXPECT_EQ(SelectedListLine(), 0) << "CH" << channel + 1 << ": the list lost its selection";
    ExpectNothingChanged("CH" + std::to_string(channel + 1) + " thumb clicked");
  }
}

TEST_F(ControlsTest, TheWheelActsOnlyOnTheFocusedControl) {
  struct Case {
    int id;
    std::function<int()> value;
  };
  const std::vector<Case> cases = {
      {ctl::kComCombo, [this] { return ComCombo()->currentIndex(); }},
      {ctl::kUnitCombo, [this] { return Inside().UnitId(); }},
      {ctl::kSequenceCombo, [this] { return Inside().CurRow(); }},
      {ctl::kCh1Slider, [this] { return Inside().Slider(0)->GetValue(); }},
      {ctl::kCh4Slider, [this] { return Inside().Slider(3)->GetValue(); }},
  };
  for (const Case& c : cases) {
    QWidget* control = Inside().Control(c.id);
    Inside().Control(ctl::kExit)->setFocus();
    const int before = c.value();
    Wheel(control, -1);
    Wheel(control, -2);
    EXPECT_EQ(c.value(), before) << "wheel over unfocused control " << c.id;
    ExpectNothingChanged("wheel over control " + std::to_string(c.id));
  }
  // The same wheel on a focused control does turn it.
  for (const Case& c : cases) {
    QWidget* control = Inside().Control(c.id);
    control->setFocus();
    const int before = c.value();
    Wheel(control, -1);
    EXPECT_NE(c.value(), before) << "wheel over focused control " << c.id;
  }
}

TEST_F(ControlsTest, TheListShowsItsScrollBarOnlyWhenTheLinesDoNotFit) {
  auto* list = Inside().ControlAs<QListWidget>(ctl::kSequenceList);
  QApplication::processEvents();
  EXPECT_FALSE(list->verticalScrollBar()->isVisible()) << "eight lines fit";
  QFont big = list->font();
  big.setPixelSize(list->height() / 4);
  list->setFont(big);
  QTest::qWait(50);
  EXPECT_TRUE(list->verticalScrollBar()->isVisible()) << "eight big lines do not fit";
}

TEST_F(ControlsTest, TheWindowIsATaskBarWindowNotADialogOfTheGroupLeader) {
  EXPECT_EQ(m_dlg->windowType(), Qt::Window);
  ASSERT_NE(m_dlg->windowHandle(), nullptr);
  EXPECT_EQ(m_dlg->windowHandle()->transientParent(), nullptr);
  EXPECT_EQ(m_dlg->windowHandle()->type(), Qt::Window);
  EXPECT_FALSE(m_dlg->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint |
                                       Qt::WindowSystemMenuHint));
  EXPECT_TRUE(m_dlg->windowFlags() & Qt::WindowTitleHint);
}
