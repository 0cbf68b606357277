// Centring a window on its area, frame included.
#include "app/window_centring.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>

CWindowCentring::CWindowCentring(QWidget* window, std::function<QRect()> area)
    : QObject(window), m_window(window), m_area(std::move(area)) {
  window->installEventFilter(this);
}

QRect CWindowCentring::ScreenArea(const QWidget* window) {
  const QScreen* screen = window->screen();
  return screen ? screen->availableGeometry() : QRect();
}

bool CWindowCentring::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_window) return false;
  switch (event->type()) {
    case QEvent::Show:
      // Sent before the window is mapped: placing it here also keeps a
      // dialog's own guess from running (it only places unmoved windows).
      Centre();
      m_waitingForFrame = m_window->frameGeometry().size() == m_window->size();
      break;
    case QEvent::Move:
    case QEvent::Resize:
      // The window manager's frame arrives as a move of the client inside it.
      if (m_waitingForFrame && m_window->frameGeometry().size() != m_window->size()) {
        m_waitingForFrame = false;
        Centre();
      }
      break;
    case QEvent::Hide:
      m_waitingForFrame = false;
      break;
    default:
      break;
  }
  return false;
}

void CWindowCentring::Centre() {
  const QRect area = m_area();
  if (!area.isValid()) return;
  QRect frame = m_window->frameGeometry();
  frame.moveCenter(area.center());
  // Too large for the area: the title bar stays reachable.
  frame.moveLeft(std::max(frame.left(), area.left()));
  frame.moveTop(std::max(frame.top(), area.top()));
  m_window->move(frame.topLeft());
}
