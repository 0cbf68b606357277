// The ending signals through a self-pipe: the handler only writes the signal's
// number into a pipe (async-signal-safe); the window's event loop reads it.
#include "app/end_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <iterator>

namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

volatile sig_atomic_t g_writeEnd = -1;

void OnEndSignal(int signal) {
  const int savedErrno = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  // A full pipe already holds enough requests to end; dropping this one is fine.
  [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &number, 1);
  errno = savedErrno;
}

}  // namespace

struct CEndSignals::Impl {
  int pipe[2] = {-1, -1};
  QSocketNotifier* notifier = nullptr;
  struct sigaction previous[std::size(kEndSignals)] = {};
};

CEndSignals::CEndSignals(QObject* parent) : QObject(parent), m_impl(std::make_unique<Impl>()) {
  int* const pipe = m_impl->pipe;
  if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe[0] = pipe[1] = -1;
    return;
  }
  g_writeEnd = pipe[1];
  m_impl->notifier = new QSocketNotifier(pipe[0], QSocketNotifier::Read, this);
  connect(m_impl->notifier, &QSocketNotifier::activated, this, [this, readEnd = pipe[0]] {
    unsigned char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(readEnd, numbers, sizeof numbers)) > 0) {
      for (ssize_t i = 0; i < count; ++i) emit Received(numbers[i]);
    }
  });

  struct sigaction action = {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  // Calls interrupted on the window's thread carry on; the end comes through
  // the event loop once the handler that made them returns.
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kEndSignals); ++i) ::sigaction(kEndSignals[i], &action, &m_impl->previous[i]);
}

CEndSignals::~CEndSignals() {
  if (!IsActive()) return;
  for (size_t i = 0; i < std::size(kEndSignals); ++i) ::sigaction(kEndSignals[i], &m_impl->previous[i], nullptr);
  g_writeEnd = -1;
  ::close(m_impl->pipe[0]);
  ::close(m_impl->pipe[1]);
}

bool CEndSignals::IsActive() const { return m_impl->notifier != nullptr; }
