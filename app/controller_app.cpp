// The program's entry object.
#include "app/controller_app.h"

#include "app/controller_dlg.h"
#include "app/end_signals.h"
#include "app/message_boxes.h"
#include "app/version_info.h"
#include "settings/profile_store.h"

CControllerApp::CControllerApp(int& argc, char** argv) : QApplication(argc, argv) {
  // No application name of our own: it comes from the executable, and so does
  // the profile's name.
  setApplicationVersion(QString::fromUtf8(version::kVersion));
}

int CControllerApp::InitInstance(CByteTraceFile* trace) {
  // Before the port opens: from here on a session's end or Ctrl-C in the
  // terminal ends the window as Exit does, and the queued saves are written
  // when the dialog goes.
  CEndSignals endSignals;
  CModalMessageBoxes boxes;
  CControllerDlg dialog(TheLedSettings(), DefaultProfilePath(), boxes);
  connect(&endSignals, &CEndSignals::Received, &dialog, &CControllerDlg::EndAsExit);
  if (trace) dialog.TraceBytes(*trace);
  dialog.Start();
  dialog.exec();
  return 0;
}
