// The baseline: an empty Qt dialog, started and ended the same way.
#include <QApplication>
#include <QDialog>

#include "probe_close.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  CloseModalWindowOnceShown();
  dialog.exec();
  return 0;
}
