// The program's entry object.
#include "app/controller_app.h"

#include "app/controller_dlg.h"
#include "app/message_boxes.h"
#include "app/version_info.h"
#include "settings/profile_store.h"

CControllerApp::CControllerApp(int& argc, char** argv) : QApplication(argc, argv) {
  // No application name of our own: it comes from the executable, and so does
  // the profile's name.
  setApplicationVersion(QString::fromUtf8(version::kVersion));
}

int CControllerApp::InitInstance() {
  CModalMessageBoxes boxes;
  CControllerDlg dialog(TheLedSettings(), DefaultProfilePath(), boxes);
  dialog.Start();
  dialog.exec();
  return 0;
}
