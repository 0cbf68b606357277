// CEndSignals: the ways a session ends a program, brought onto the window's
// thread as a Qt signal, so the program can end the way Exit does instead of
// dying with its port held and its last settings unsaved. On Linux these are
// SIGTERM, SIGINT and SIGHUP (a session ending, Ctrl-C in the terminal):
// end_signals.cpp; on Windows the end of the session or a log-off
// (WM_ENDSESSION): end_signals_windows.cpp. On Windows it also tells, for as
// long as it listens, that a Dimlet window runs in this session, to the
// installer and the uninstaller, which must not replace or remove the files
// of a program that is running: a named mutex they look for.
#pragma once

#include <QObject>
#include <memory>

class CEndSignals : public QObject {
  Q_OBJECT

 public:
  // Starts listening; at most one instance at a time. If that cannot be done
  // (no pipe), the ends keep their previous effect and IsActive() is false.
  explicit CEndSignals(QObject* parent = nullptr);
  // Puts the previous handling back.
  ~CEndSignals() override;
  CEndSignals(const CEndSignals&) = delete;
  CEndSignals& operator=(const CEndSignals&) = delete;

  bool IsActive() const;

 signals:
  // Raised on the thread that made this object, once per end delivered, with
  // the signal's number (SIGTERM for a Windows session's end). When it
  // returns, the program may be ended at any moment: what must be kept is
  // kept by the slots it calls.
  void Received(int signal);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
