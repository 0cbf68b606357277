// CEndSignals: SIGTERM, SIGINT and SIGHUP (a session ending, Ctrl-C in the
// terminal) brought onto the window's thread as a Qt signal, so the program can
// end the way Exit does instead of dying with its port held and its last
// settings unsaved.
#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

class CEndSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; at most one instance at a time. If the handlers
  // cannot be installed (no pipe), the signals keep their previous actions
  // and IsActive() is false.
  explicit CEndSignals(QObject* parent = nullptr);
  // Puts the previous actions back.
  ~CEndSignals() override;
  CEndSignals(const CEndSignals&) = delete;
  CEndSignals& operator=(const CEndSignals&) = delete;

  bool IsActive() const { return m_notifier != nullptr; }

 signals:
  // Raised on the thread that made this object, once per signal delivered.
  void Received(int signal);

 private:
  void OnReadable();

  int m_pipe[2] = {-1, -1};
  QSocketNotifier* m_notifier = nullptr;
  struct sigaction m_previous[3] = {};
};
