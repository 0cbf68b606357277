// Saves a picture of the operator window as the given PNG file, drawn offscreen
// against whatever the profile in $XDG_CONFIG_HOME maps Com 1 to.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "app/controller_dlg.h"
#include "app/message_boxes.h"
#include "settings/profile_store.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE.png\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  CModalMessageBoxes boxes;
  CControllerDlg dialog(TheLedSettings(), DefaultProfilePath(), boxes);
  dialog.Start();
  dialog.show();
  QApplication::processEvents();
  if (!dialog.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
