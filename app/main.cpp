// dimlet: the operator tool for LED intensity controller units.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/controller_app.h"

int main(int argc, char** argv) {
  // Answered before the application object exists: it would need a display.
  const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
    case CommandLine::Action::kHelp:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case CommandLine::Action::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    case CommandLine::Action::kError:
      std::fprintf(stderr, "dimlet: %s\nTry \"dimlet --help\".\n", line.error.c_str());
      return 2;
    case CommandLine::Action::kRun:
      break;
  }
  CControllerApp app(argc, argv);
  return app.InitInstance();
}
