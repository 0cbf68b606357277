// The program's entry object.
#include "controller_app.h"

#include "controller_dlg.h"
#include "message_boxes.h"
#include "profile_store.h"
#include "version_info.h"

CControllerApp::CControllerApp(int& argc, char** argv) : QApplication(argc, argv) {
  // No application name of our own: it comes from the executable, and so does
  // the profile's name.
  setApplicationVersion(QString::fromUtf8(version::kProductVersion));
}

int CControllerApp::InitInstance() {
  CModalMessageBoxes boxes;
  CControllerDlg dialog(TheLedSettings(), DefaultProfilePath(), boxes);
  dialog.exec();
  return 0;
}
