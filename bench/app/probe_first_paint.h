// Ends a probe's window once its first frame is drawn: when the window's
// first paint has been handled (children and the flush to the screen belong to
// the same pass), the probe prints the time on the system's monotonic clock,
// "painted <nanoseconds>", and closes the window. Its peak memory follows on
// standard output when it ends.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>
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

class FirstPaintWatch : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!m_seen && event->type() == QEvent::Paint && widget && widget->isWindow()) {
      m_seen = true;
      // Runs once the paint pass that this event starts is over.
      QTimer::singleShot(0, widget, [widget] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::printf("painted %lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
        std::fflush(stdout);
        widget->close();
      });
    }
    return false;
  }

 private:
  bool m_seen = false;
};

inline void CloseWindowAfterFirstPaint() {
  std::atexit(ReportPeakMemory);
  static FirstPaintWatch watch;
  qApp->installEventFilter(&watch);
}
