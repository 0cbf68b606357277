// dimlet: the operator tool for LED intensity controller units.
#include "app/controller_app.h"

int main(int argc, char** argv) {
  CControllerApp app(argc, argv);
  return app.InitInstance();
}
