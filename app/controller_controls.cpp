// The operator window's controls: built from the template table, named for
// assistive tools, and fitted to the screen.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/artwork.h"
#include "app/choice_combo.h"
#include "app/controller_dlg.h"
#include "app/dialog_template.h"
#include "app/dialog_units.h"
#include "app/slider.h"
#include "app/status_line.h"
#include "app/updown.h"
#include "app/window_centring.h"

namespace {

// A caption that the template shows on two lines breaks at the space nearest
// its middle.
QString TwoLineCaption(const QString& caption) {
  int best = -1;
  for (int i = 0; i < caption.size(); ++i) {
    if (caption[i] == ' ' && (best < 0 || std::abs(i - caption.size() / 2) < std::abs(best - caption.size() / 2))) best = i;
  }
  QString lines = caption;
  if (best >= 0) lines[best] = '\n';
  return lines;
}

QWidget* MakeControl(const ctl::Control& row, QWidget* parent) {
  const QString caption = QString::fromUtf8(row.caption);
  const QString shown = (row.flags & ctl::kMultiLine) ? TwoLineCaption(caption) : caption;
  switch (row.kind) {
    case ctl::Kind::kPushButton: {
      auto* button = new QPushButton(shown, parent);
      button->setAutoDefault(true);  // Enter presses the focused button
      button->setDefault(row.flags & ctl::kDefault);
      return button;
    }
    case ctl::Kind::kCheckBox:
      return new QCheckBox(shown, parent);
    case ctl::Kind::kEdit: {
      auto* edit = new QLineEdit(parent);
      edit->setReadOnly(row.flags & ctl::kReadOnly);
      edit->setAlignment((row.flags & ctl::kRightAlign) ? Qt::AlignRight | Qt::AlignVCenter
                                                         : Qt::AlignLeft | Qt::AlignVCenter);
      return edit;
    }
    case ctl::Kind::kSlider: {
      auto* slider = new QSlider(Qt::Vertical, parent);
      slider->setTickPosition(QSlider::TicksRight);
      slider->setTickInterval(32);
      slider->setPageStep(16);
      return slider;
    }
    case ctl::Kind::kPicture: {
      auto* picture = new QLabel(parent);
      picture->setPixmap(LogoPixmap());
      return picture;
    }
    case ctl::Kind::kText:
      return new QLabel(caption, parent);
    case ctl::Kind::kGroupBox: {
      auto* group = new QGroupBox(caption, parent);
      // A frame only: clicks go to the controls it surrounds.
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      group->setFocusPolicy(Qt::NoFocus);
      return group;
    }
    case ctl::Kind::kComboBox:
      return new CChoiceCombo(row.flags & ctl::kEditableCombo, parent);
    case ctl::Kind::kListBox: {
      auto* list = new QListWidget(parent);
      list->setSortingEnabled(row.flags & ctl::kSorted);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
      return list;
    }
    case ctl::Kind::kUpDown:
      break;  // needs its edit; made by the caller
  }
  return nullptr;
}

bool IsTabStop(ctl::Kind kind) {
  switch (kind) {
    case ctl::Kind::kText:
    case ctl::Kind::kGroupBox:
    case ctl::Kind::kPicture:
    case ctl::Kind::kUpDown:
      return false;
    case ctl::Kind::kPushButton:
    case ctl::Kind::kCheckBox:
    case ctl::Kind::kEdit:
    case ctl::Kind::kSlider:
    case ctl::Kind::kComboBox:
    case ctl::Kind::kListBox:
      return true;
  }
  return true;
}

// What assistive tools call a control: its caption, or for a control without
// words of its own what it shows.
QString AccessibleNameOf(const ctl::Control& row) {
  if (row.kind == ctl::Kind::kPicture) return QStringLiteral("Dimlet logo");
  return QString::fromUtf8(row.caption);
}

// The arrows of an up-down are named after the value they change.
void NameArrows(CUpDown* upDown, const QString& name) {
  for (QToolButton* arrow : upDown->findChildren<QToolButton*>()) {
    arrow->setAccessibleName(name + (arrow->arrowType() == Qt::UpArrow ? QStringLiteral(" up") : QStringLiteral(" down")));
  }
}

}  // namespace

void CControllerDlg::BuildControls() {
  setWindowTitle(QString::fromUtf8(ctl::kMainWindowCaption));
  // A caption, no system menu, no minimise, maximise or close box. A window
  // of its own rather than a dialog: a parentless dialog is made transient
  // for the application's group leader, and task bars leave such windows out.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFont(DialogFont());
  const DialogUnits units(font());

  // The controls stand on a page of the template's size, in a scroll area
  // that shows bars only when the screen is too small for the whole page.
  m_scroll = new QScrollArea(this);
  m_scroll->setFrameShape(QFrame::NoFrame);
  m_scroll->setFocusPolicy(Qt::NoFocus);
  m_page = new QWidget(this);  // the window's font from the start
  m_page->setObjectName(QStringLiteral("page"));
  m_page->setFixedSize(units.SizeToPixels(ctl::kMainWindowSize.width, ctl::kMainWindowSize.height));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_scroll);

  QWidget* previousTabStop = nullptr;
  QLineEdit* previousEdit = nullptr;
  std::vector<QWidget*> stacking;
  QHash<QString, QLabel*> captions;
  for (const ctl::Control& row : ctl::MainTemplate()) {
    QWidget* widget =
        row.kind == ctl::Kind::kUpDown ? new CUpDown(previousEdit, m_page) : MakeControl(row, m_page);
    QRect place = units.ToPixels(row.place);
    if (row.kind == ctl::Kind::kComboBox) place.setHeight(widget->sizeHint().height());  // the rest is the drop-down
    if (row.kind == ctl::Kind::kPicture) place.setSize(widget->sizeHint());              // shown at its own size
    widget->setGeometry(place);
    widget->setAccessibleName(AccessibleNameOf(row));
    if (row.kind == ctl::Kind::kText) captions.insert(QString::fromUtf8(row.caption), qobject_cast<QLabel*>(widget));
    if (row.id != ctl::kNone) {
      widget->setObjectName(QStringLiteral("ctl%1").arg(row.id));
      widget->setProperty("controlId", row.id);
      m_controls.insert(row.id, widget);
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) previousEdit = edit;
    if (IsTabStop(row.kind)) {
      widget->setFocusPolicy(Qt::StrongFocus);
      if (previousTabStop) QWidget::setTabOrder(previousTabStop, widget);
      previousTabStop = widget;
    } else {
      widget->setFocusPolicy(Qt::NoFocus);
    }
    stacking.push_back(widget);
  }
  // The first control of the template lies on top.
  for (auto it = stacking.rbegin(); it != stacking.rend(); ++it) (*it)->raise();
  for (const ctl::ControlName& name : ctl::ControlNames()) {
    QWidget* control = Control(name.id);
    control->setAccessibleName(QString::fromUtf8(name.name));
    if (auto* upDown = qobject_cast<CUpDown*>(control)) NameArrows(upDown, control->accessibleName());
    if (QLabel* caption = captions.value(QString::fromUtf8(name.caption), nullptr)) caption->setBuddy(control);
  }

  for (int channel = 0; channel < kChannels; ++channel)
    m_sliders[channel] = new CSlider(ControlAs<QSlider>(ctl::kChannelSliders[channel]), this);
  m_newIdUpDown = ControlAs<CUpDown>(ctl::kNewIdUpDown);
  m_maxSqUpDown = ControlAs<CUpDown>(ctl::kMaxSqUpDown);
  m_comCombo = ControlAs<QComboBox>(ctl::kComCombo);
  m_unitCombo = ControlAs<QComboBox>(ctl::kUnitCombo);
  m_sequenceCombo = ControlAs<QComboBox>(ctl::kSequenceCombo);
  m_sequenceList = ControlAs<QListWidget>(ctl::kSequenceList);
  m_runButton = ControlAs<QPushButton>(ctl::kRunStop);

  m_statusLine = new CStatusLine(m_page);
  m_statusLine->setGeometry(units.ToPixels(ctl::kStatusLinePlace));

  m_scroll->setWidget(m_page);
  new CWindowCentring(this, [this] { return CWindowCentring::ScreenArea(this); });
  FitToArea(CWindowCentring::ScreenArea(this));
}

void CControllerDlg::FitToArea(const QRect& area) {
  // The window manager's frame is not known before the window is shown: a
  // title bar and a thin border are allowed for.
  const int border = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
  const QSize frame(border, border + style()->pixelMetric(QStyle::PM_TitleBarHeight));
  const QSize page = m_page->size();
  const QSize room = area.isValid() ? area.size() - frame : page;
  QSize window = page.boundedTo(room);
  // A bar across one side takes room from the other.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  if (window.height() < page.height()) window.setWidth(std::min(page.width() + bar, room.width()));
  if (window.width() < page.width()) window.setHeight(std::min(page.height() + bar, room.height()));
  setFixedSize(window);
}
