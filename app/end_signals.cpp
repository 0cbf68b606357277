// The ending signals through a self-pipe: the handler only writes the signal's
// number into a pipe (async-signal-safe); the window's event loop reads it.
#include "app/end_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
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

CEndSignals::CEndSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    m_pipe[0] = m_pipe[1] = -1;
    return;
  }
  g_writeEnd = m_pipe[1];
  m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &CEndSignals::OnReadable);

  struct sigaction action = {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  // Calls interrupted on the window's thread carry on; the end comes through
  // the event loop once the handler that made them returns.
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kEndSignals); ++i) ::sigaction(kEndSignals[i], &action, &m_previous[i]);
}

CEndSignals::~CEndSignals() {
  if (!m_notifier) return;
  for (size_t i = 0; i < std::size(kEndSignals); ++i) ::sigaction(kEndSignals[i], &m_previous[i], nullptr);
  g_writeEnd = -1;
  ::close(m_pipe[0]);
  ::close(m_pipe[1]);
}

void CEndSignals::OnReadable() {
  unsigned char numbers[16];
  ssize_t count = 0;
  while ((count = ::read(m_pipe[0], numbers, sizeof numbers)) > 0) {
    for (ssize_t i = 0; i < count; ++i) emit Received(numbers[i]);
  }
}
