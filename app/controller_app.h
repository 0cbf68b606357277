// CControllerApp: the program. It runs the operator window modally and ends
// when the window closes.
#pragma once

#include <QApplication>

class CByteTraceFile;

class CControllerApp : public QApplication {
  Q_OBJECT

 public:
  CControllerApp(int& argc, char** argv);

  // Runs the window to its end; returns the process exit code. With `trace`,
  // every byte on the line goes there; it must outlive the call.
  int InitInstance(CByteTraceFile* trace = nullptr);
};
