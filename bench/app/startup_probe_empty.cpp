// The baseline: an empty Qt dialog, started and ended the same way, at its first frame.
#include <QApplication>
#include <QDialog>

#include "probe_first_paint.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  CloseWindowAfterFirstPaint();
  dialog.exec();
  return 0;
}
