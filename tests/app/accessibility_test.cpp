// What assistive tools read: every control that takes input has a name taken
// from the caption beside it, the captions name their controls as buddies,
// and the captions themselves are the window's own words, unchanged.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>

#include "app/dialog_template.h"
#include "window_fixture.h"

namespace {

struct NamedControl {
  int id;
  const char* name;
  const char* caption;  // the text beside it that is its buddy, or ""
};

const NamedControl kExpected[] = {
    {ctl::kComCombo, "Com Port", "Com Port:"},
    {ctl::kUnitCombo, "KIVID", "KIVID:"},
    {ctl::kSequenceCombo, "Sequent", "Sequent:"},
    {ctl::kSequenceList, "Sequence list", ""},
    {ctl::kNewIdEdit, "Change ID", "Change ID:"},
    {ctl::kMaxSqEdit, "Set Max Sequent", "Set Max Sequent"},
    {ctl::kCh1Slider, "CH1", "CH1"},
    {ctl::kCh2Slider, "CH2", "CH2"},
    {ctl::kCh3Slider, "CH3", "CH3"},
    {ctl::kCh4Slider, "CH4", "CH4"},
    {ctl::kCh1Value, "CH1 Intensity Level", "Intensity Level:"},
    {ctl::kCh2Value, "CH2 Intensity Level", ""},
    {ctl::kCh3Value, "CH3 Intensity Level", ""},
    {ctl::kCh4Value, "CH4 Intensity Level", ""},
    {ctl::kAllRows, "UP/DOWN Load All", ""},
    {ctl::kExit, "Exit", ""},
};

QString AccessibleName(QWidget* widget) {
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
  return face ? face->text(QAccessible::Name) : QString();
}

}  // namespace

class AccessibilityTest : public WindowTest {};

TEST_F(AccessibilityTest, EveryInputControlIsNamedAfterItsCaption) {
  StartWindow();
  for (const NamedControl& c : kExpected) {
    QWidget* control = Inside().Control(c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_EQ(control->accessibleName(), c.name) << "control " << c.id;
    // On Linux a combo box reports its current entry as its name and is
    // named by its label relation instead (see the buddies below).
    if (!qobject_cast<QComboBox*>(control)) {
      EXPECT_EQ(AccessibleName(control), c.name) << "control " << c.id;
    }
  }
  // No control goes unnamed.
  for (const ctl::Control& row : ctl::MainTemplate()) {
    if (row.id == ctl::kNone) continue;
    EXPECT_FALSE(Inside().Control(row.id)->accessibleName().isEmpty()) << "control " << row.id << " has no name";
  }
}

TEST_F(AccessibilityTest, CaptionsAreUnchangedAndNameTheirControlsAsBuddies) {
  StartWindow();
  QStringList captions;
  for (QLabel* label : m_dlg->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    if (label == Inside().StatusLine() || label->text().isEmpty()) continue;
    captions << label->text();
    for (const NamedControl& c : kExpected) {
      if (label->text() == c.caption) {
        EXPECT_EQ(label->buddy(), Inside().Control(c.id)) << c.caption;
      }
    }
  }
  captions.sort();
  EXPECT_EQ(captions, (QStringList{"CH1", "CH2", "CH3", "CH4", "Change ID:", "Com Port:", "Intensity Level:",
                                   "KIVID:", "Sequent:", "Set Max Sequent"}));

  // The relation assistive tools follow from a control to its caption.
  for (const NamedControl& c : kExpected) {
    if (!*c.caption) continue;
    QAccessibleInterface* control = QAccessible::queryAccessibleInterface(Inside().Control(c.id));
    ASSERT_NE(control, nullptr);
    bool labelled = false;
    for (const auto& [other, relation] : control->relations(QAccessible::Label))
      labelled |= other->text(QAccessible::Name) == c.caption;
    EXPECT_TRUE(labelled) << "control " << c.id << " is not labelled by \"" << c.caption << "\"";
  }
}
