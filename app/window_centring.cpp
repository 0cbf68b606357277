// Centring a window on its area, frame included.
#include "app/window_centring.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {

// The window manager frames a window within moments of its showing; a frame
// that has not come after this long is not coming.
constexpr int kFrameLookMs = 50;
constexpr int kFrameLooks = 40;

}  // namespace

CWindowCentring::CWindowCentring(QWidget* window, std::function<QRect()> area)
    : QObject(window), m_window(window), m_area(std::move(area)) {
  window->installEventFilter(this);
  m_frameWatch.setInterval(kFrameLookMs);
  connect(&m_frameWatch, &QTimer::timeout, this, &CWindowCentring::LookForFrame);
}

QRect CWindowCentring::ScreenArea(const QWidget* window) {
  const QScreen* screen = window->screen();
  return screen ? screen->availableGeometry() : QRect();
}

QRect CWindowCentring::FrameOf(const QWidget* window) {
  // Asked of the platform window: QWidget's own frame is a copy that is only
  // brought up to date by a move or a resize.
  const QWindow* handle = window->windowHandle();
  return handle ? window->geometry().marginsAdded(handle->frameMargins()) : window->frameGeometry();
}

QMargins CWindowCentring::Margins() const {
  const QWindow* handle = m_window->windowHandle();
  return handle ? handle->frameMargins() : QMargins();
}

bool CWindowCentring::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_window) return false;
  if (event->type() == QEvent::Show) {
    // Sent before the window is mapped: placing it here also keeps a
    // dialog's own guess from running (it only places unmoved windows).
    Centre();
    m_looksLeft = kFrameLooks;
    m_frameWatch.start();
  } else if (event->type() == QEvent::Hide) {
    m_frameWatch.stop();
  }
  return false;
}

void CWindowCentring::LookForFrame() {
  if (Margins() != m_placedWith) {
    Centre();
    m_frameWatch.stop();
  } else if (--m_looksLeft <= 0) {
    m_frameWatch.stop();
  }
}

void CWindowCentring::Centre() {
  const QRect area = m_area();
  if (!area.isValid()) return;
  m_placedWith = Margins();
  QRect frame(QPoint(), m_window->size().grownBy(m_placedWith));
  frame.moveCenter(area.center());
  // Too large for the area: the title bar stays reachable.
  frame.moveLeft(std::max(frame.left(), area.left()));
  frame.moveTop(std::max(frame.top(), area.top()));
  // The window's own place, inside the frame: the window manager keeps it
  // there and draws the frame around it.
  m_window->setGeometry(QRect(frame.topLeft() + QPoint(m_placedWith.left(), m_placedWith.top()), m_window->size()));
}
