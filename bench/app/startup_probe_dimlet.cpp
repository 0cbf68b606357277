// The program's own start-up path, ended once its window is shown.
#include "app/controller_app.h"
#include "probe_close.h"

int main(int argc, char** argv) {
  CControllerApp app(argc, argv);
  CloseModalWindowOnceShown();
  return app.InitInstance();
}
