// Ends a probe's modal window as soon as the event loop has shown it.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

inline void CloseModalWindowOnceShown() {
  QTimer::singleShot(0, [] {
    if (QWidget* window = QApplication::activeModalWidget()) window->close();
  });
}
