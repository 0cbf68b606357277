// A Windows session's end (shutting down, restarting, logging off) as an end
// signal: Windows asks every top-level window with WM_QUERYENDSESSION, then
// says with WM_ENDSESSION whether the session really ends, and may end the
// process as soon as that message has been handled. A filter on the
// application's native messages sees it before Qt does and raises Received
// once, on the window's thread, inside that message; Qt's own handling then
// goes on. Ctrl-C has no terminal to come from: the window has no console.
#include "app/end_signals.h"

#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <csignal>

struct CEndSignals::Impl : QAbstractNativeEventFilter {
  explicit Impl(CEndSignals& owner) : owner(owner) {}

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "windows_generic_MSG") return false;
    const MSG* msg = static_cast<const MSG*>(message);
    // Every top-level window (Qt's hidden ones too) is told; the end is one.
    if (msg->message == WM_ENDSESSION && msg->wParam != FALSE && !ended) {
      ended = true;
      emit owner.Received(SIGTERM);
    }
    return false;
  }

  CEndSignals& owner;
  bool ended = false;
};

CEndSignals::CEndSignals(QObject* parent) : QObject(parent) {
  if (!QCoreApplication::instance()) return;
  m_impl = std::make_unique<Impl>(*this);
  QCoreApplication::instance()->installNativeEventFilter(m_impl.get());
}

CEndSignals::~CEndSignals() {
  if (m_impl && QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(m_impl.get());
}

bool CEndSignals::IsActive() const { return m_impl != nullptr; }
