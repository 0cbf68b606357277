// A Windows session's end (shutting down, restarting, logging off) as an end
// signal: Windows asks every top-level window with WM_QUERYENDSESSION, then
// says with WM_ENDSESSION whether the session really ends, and may end the
// process as soon as that message has been handled. A filter on the
// application's native messages sees it before Qt does and raises Received
// once, on the window's thread, inside that message; Qt's own handling then
// goes on. Ctrl-C has no terminal to come from: the window has no console.
// A named mutex, held from start to end, is how the installer and the
// uninstaller (packaging/windows/dimlet.nsi, which takes its name from
// here) find a window running; Windows closes it with the process, however
// the process ends.
#include "app/end_signals.h"

#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <csignal>

namespace {

// In the session's own namespace: the per-user installer of this session
// is the one that must not pull the files from under this window.
constexpr wchar_t kRunningMutexName[] = L"DimletWindowRunning";

}  // namespace

struct CEndSignals::Impl : QAbstractNativeEventFilter {
  // Without the mutex (no handle left) the window still runs; only an
  // installer started meanwhile would not see it.
  explicit Impl(CEndSignals& owner) : owner(owner), running(::CreateMutexW(nullptr, FALSE, kRunningMutexName)) {}
  ~Impl() override {
    if (running) ::CloseHandle(running);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

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
  HANDLE running;
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
