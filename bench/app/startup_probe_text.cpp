// A second baseline: an empty Qt dialog that shows one line of text, so it
// loads the font database as any window with text must.
#include <QApplication>
#include <QDialog>
#include <QLabel>

#include "probe_first_paint.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  QLabel label(QStringLiteral("ORVANEL"), &dialog);
  CloseWindowAfterFirstPaint();
  dialog.exec();
  return 0;
}
