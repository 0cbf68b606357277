// Arrow buttons for an edit holding a number.
#include "app/updown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

#include "app/text_value.h"

CUpDown::CUpDown(QLineEdit* buddy, QWidget* parent)
    : QWidget(parent), m_buddy(buddy), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
  for (QToolButton* button : {m_up, m_down}) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
  }
  m_up->setArrowType(Qt::UpArrow);
  m_down->setArrowType(Qt::DownArrow);
  connect(m_up, &QToolButton::clicked, this, [this] { Step(+1); });
  connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
  m_buddy->installEventFilter(this);
  setFocusPolicy(Qt::NoFocus);
}

void CUpDown::SetRange(int lower, int upper) {
  m_lower = lower;
  m_upper = upper;
}

void CUpDown::Step(int delta) {
  // Text outside the range or without a number starts from the nearest end.
  const int current = std::clamp<int64_t>(IntegerValueOfText(m_buddy->text().toStdString()), m_lower, m_upper);
  const int next = std::clamp(current + delta, m_lower, m_upper);
  const QString text = QString::number(next);
  if (text != m_buddy->text()) m_buddy->setText(text);
}

bool CUpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_buddy && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      Step(key == Qt::Key_Up ? +1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CUpDown::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  m_up->setGeometry(0, 0, width(), half);
  m_down->setGeometry(0, half, width(), height() - half);
}
