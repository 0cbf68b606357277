// What assistive tools read: every control that takes input has a name taken
// from the caption beside it, the captions name their controls as buddies,
// and the captions themselves are the window's own words, unchanged; every
// button and picture in the tree has a name, and the status line is a status
// bar named by what it shows.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <vector>

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
  QWidget* page = Inside().Control(ctl::kExit)->parentWidget();
  for (QLabel* label : page->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
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

TEST_F(AccessibilityTest, EveryButtonAndPictureInTheTreeHasAName) {
  StartWindow();
  QStringList names;
  std::vector<QAccessibleInterface*> pending{QAccessible::queryAccessibleInterface(m_dlg.get())};
  while (!pending.empty()) {
    QAccessibleInterface* face = pending.back();
    pending.pop_back();
    for (int i = 0; i < face->childCount(); ++i) pending.push_back(face->child(i));
    const QAccessible::Role role = face->role();
    if (role != QAccessible::PushButton && role != QAccessible::Button && role != QAccessible::Graphic) continue;
    const QString name = face->text(QAccessible::Name);
    EXPECT_FALSE(name.isEmpty()) << "an unnamed " << (role == QAccessible::Graphic ? "picture" : "button") << " at "
                                 << face->rect().x() << "," << face->rect().y();
    names << name;
  }
  for (const char* name : {"Change ID up", "Change ID down", "Set Max Sequent up", "Set Max Sequent down",
                           "Dimlet logo", "Exit", "RUN"})
    EXPECT_TRUE(names.contains(name)) << name << " is not in the tree; found: " << names.join(", ").toStdString();
}

// A status bar's name changing is what a screen reader announces. (Whether the
// change is passed on cannot be seen here: the offscreen platform has no
// accessibility bridge, and Qt drops the events without one.)
TEST_F(AccessibilityTest, StatusLineIsAStatusBarNamedByWhatItShows) {
  // Com 2 on no device, whatever this machine's own second port is.
  StartWindow("[Ports]\nCom 2=" + m_dir + "/no-such-device\n");
  QAccessibleInterface* status = QAccessible::queryAccessibleInterface(Inside().StatusLine());
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->role(), QAccessible::StatusBar);
  EXPECT_TRUE(status->text(QAccessible::Name).startsWith("Com 1")) << status->text(QAccessible::Name).toStdString();
  ChooseComboEntry(ctl::kComCombo, 1);  // Com 2: no device behind it
  EXPECT_EQ(status->text(QAccessible::Name), Inside().StatusLine()->text());
  EXPECT_TRUE(status->text(QAccessible::Name).contains("no such device")) << status->text(QAccessible::Name).toStdString();
}
