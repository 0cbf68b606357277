// The program's own start-up path, ended once its window has drawn its first frame.
#include "app/controller_app.h"
#include "probe_first_paint.h"

int main(int argc, char** argv) {
  CControllerApp app(argc, argv);
  CloseWindowAfterFirstPaint();
  return app.InitInstance();
}
