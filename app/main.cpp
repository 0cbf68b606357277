// dimlet: the operator tool for LED intensity controller units.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/controller_app.h"
#include "device/byte_trace.h"
#include "settings/profile_path.h"
#include "settings/standard_streams.h"

int main(int argc, char** argv) {
  if (!OpenClosedStandardStreams()) return 1;
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
  // Opened before the window: a trace that cannot be written is refused at once.
  std::unique_ptr<CByteTraceFile> trace;
  if (!line.tracePath.empty()) {
    std::string error;
    trace = CByteTraceFile::Open(line.tracePath, &error, {{DefaultProfilePath(), "the profile"}});
    if (!trace) {
      std::fprintf(stderr, "dimlet: cannot write the trace: %s\n", error.c_str());
      return 2;
    }
  }
  CControllerApp app(argc, argv);
  const int code = app.InitInstance(trace.get());
  if (trace && !trace->Error().empty()) {
    std::fprintf(stderr, "dimlet: %s\n", trace->Error().c_str());
    return 1;
  }
  return code;
}
