// Ends a probe's modal window as soon as the event loop has shown it, and
// reports the probe's peak memory on standard output when it ends.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>

inline void ReportPeakMemory() {
  // VmHWM, the resident high-water mark of this process alone.
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status))
      if (std::strncmp(line, "VmHWM:", 6) == 0) std::fputs(line, stdout);
    std::fclose(status);
  }
}

inline void CloseModalWindowOnceShown() {
  std::atexit(ReportPeakMemory);
  QTimer::singleShot(0, [] {
    if (QWidget* window = QApplication::activeModalWidget()) window->close();
  });
}
