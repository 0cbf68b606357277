// What the operator sees: the window's title and fixed size, the tab order,
// every control within reach on a small screen, and the behaviour of the
// controls themselves.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/dialog_template.h"
#include "app/slider.h"
#include "app/updown.h"
#include "window_fixture.h"

class LayoutTest : public WindowTest {};

// Where it opens needs a real window manager: scripts/window-check.
TEST_F(LayoutTest, WindowHasItsTitleAFixedSizeAndNoCloseBox) {
  StartWindow();
  EXPECT_EQ(m_dlg->windowTitle(), "ORVANEL");
  EXPECT_EQ(m_dlg->minimumSize(), m_dlg->maximumSize()) << "the window has a fixed size";
  EXPECT_FALSE(m_dlg->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint |
                                       Qt::WindowSystemMenuHint));
}

TEST_F(LayoutTest, OnAScreenTooSmallTheWindowFitsAndScrollsToItsLastControls) {
  StartWindow();
  const QSize whole = m_dlg->size();
  const QRect small(0, 0, whole.width() * 2 / 3, whole.height() / 2);
  Inside().FitToArea(small);
  QApplication::processEvents();
  EXPECT_LE(m_dlg->width(), small.width());
  EXPECT_LE(m_dlg->height(), small.height());
  QScrollArea* area = Inside().ScrollArea();
  for (QWidget* control : {Inside().Control(ctl::kRunStop), Inside().Control(ctl::kExit),
                           static_cast<QWidget*>(Inside().StatusLine())}) {
    area->ensureWidgetVisible(control, 0, 0);
    const QRect shown(control->mapTo(area->viewport(), QPoint(0, 0)), control->size());
    EXPECT_TRUE(area->viewport()->rect().contains(shown)) << control->objectName().toStdString();
  }
}

TEST_F(LayoutTest, TabVisitsTheTabStopsInTemplateOrderStartingAtExit) {
  StartWindow();
  std::vector<QWidget*> expected;
  for (const ctl::Control& row : ctl::MainTemplate())
    if (row.id != ctl::kNone && row.kind != ctl::Kind::kUpDown) expected.push_back(Inside().Control(row.id));
  ASSERT_EQ(QApplication::focusWidget(), Inside().Control(ctl::kExit)) << "focus starts on Exit";
  for (size_t i = 1; i < expected.size(); ++i) {
    QWidget* from = QApplication::focusWidget();
    QTest::keyClick(from, Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    // An editable combo hands focus to its inner edit.
    if (now && now->parentWidget() && qobject_cast<QComboBox*>(now->parentWidget())) now = now->parentWidget();
    EXPECT_EQ(now, expected[i]) << "tab stop " << i << " should be control "
                                << expected[i]->property("controlId").toInt();
  }
}

TEST_F(LayoutTest, StatusLineSitsInTheFreeSpaceBelowTheListWithoutCoveringControls) {
  StartWindow();
  const QRect status = Inside().StatusLine()->geometry();
  for (const ctl::Control& row : ctl::MainTemplate()) {
    if (row.kind == ctl::Kind::kGroupBox) continue;
    const QWidget* widget = row.id == ctl::kNone ? nullptr : Inside().Control(row.id);
    if (widget) {
      EXPECT_FALSE(status.intersects(widget->geometry())) << row.id;
    }
  }
}

TEST_F(LayoutTest, ValueBoxesAreReadOnlyRightAlignedAndCannotBeTypedInto) {
  StartWindow();
  for (int id : {ctl::kCh1Value, ctl::kCh2Value, ctl::kCh3Value, ctl::kCh4Value}) {
    auto* box = Inside().ControlAs<QLineEdit>(id);
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_TRUE(box->alignment() & Qt::AlignRight);
    const QString before = box->text();
    TypeInto(id, "99");
    EXPECT_EQ(box->text(), before) << id;
  }
}

TEST_F(LayoutTest, UpDownArrowsStopAtTheirRangeEnds) {
  StartWindow();
  struct Case {
    int edit, upDown;
    QString top, bottom;
  };
  for (const Case& c : {Case{ctl::kNewIdEdit, ctl::kNewIdUpDown, "7", "0"},
                        Case{ctl::kMaxSqEdit, ctl::kMaxSqUpDown, "8", "1"}}) {
    auto* upDown = Inside().ControlAs<CUpDown>(c.upDown);
    for (int i = 0; i < 12; ++i) QTest::mouseClick(upDown->UpButton(), Qt::LeftButton);
    EXPECT_EQ(Text(c.edit), c.top);
    for (int i = 0; i < 12; ++i) QTest::keyClick(Inside().Control(c.edit), Qt::Key_Down);
    EXPECT_EQ(Text(c.edit), c.bottom) << "arrow keys in the edit step too, without wrapping";
  }
}

TEST_F(LayoutTest, EditsTakeAnyTextOfAnyLength) {
  StartWindow();
  const QString text = QString("x-").repeated(200);
  ClearEdit(ctl::kNewIdEdit);
  TypeInto(ctl::kNewIdEdit, text);
  EXPECT_EQ(Text(ctl::kNewIdEdit), text);
}

TEST_F(LayoutTest, SliderShowsProgramValuesWithoutNotifyingAndRaisesBothNotificationsForTheOperator) {
  StartWindow();
  CSlider* slider = Inside().Slider(0);
  int tracking = 0, committed = 0;
  QObject::connect(slider, &CSlider::Tracking, [&] { ++tracking; });
  QObject::connect(slider, &CSlider::Committed, [&] { ++committed; });

  slider->SetValue(40);
  EXPECT_EQ(slider->GetValue(), 40);
  EXPECT_EQ(tracking + committed, 0) << "a value set by the program raises nothing";

  slider->Widget()->setFocus();
  QTest::keyClick(slider->Widget(), Qt::Key_Up);
  EXPECT_EQ(slider->GetValue(), 41) << "up is towards the top, away from 0";
  EXPECT_EQ(committed, 1) << "a key press is one complete change";
  EXPECT_EQ(tracking, 0);
}

TEST_F(LayoutTest, AboutBoxOpensOnF1CentredOnTheWindow) {
  StartWindow();
  QString name, licence;
  QPoint offset;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), "About ORVANEL");
    for (QLabel* label : about->findChildren<QLabel*>())
      (label->text().startsWith("Dimlet Version") ? name : licence) += label->text();
    offset = about->frameGeometry().center() - m_dlg->frameGeometry().center();
    QTest::keyClick(about, Qt::Key_Return);
  });
  QTest::keyClick(m_dlg.get(), Qt::Key_F1);
  EXPECT_EQ(name, "Dimlet Version 1.0");
  EXPECT_TRUE(licence.contains("MIT")) << licence.toStdString();
  EXPECT_LE(offset.manhattanLength(), 2);
}
