// dimlet-sim: runs the simulated unit line for an operator or a test script.
// Prints where the line is, then one time-stamped line per frame, until the
// operator stops it (sim/operator_requests.h), which removes its link.
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "settings/standard_streams.h"
#include "settings/unit_list.h"
#include "sim/operator_requests.h"
#include "sim/sim_arguments.h"
#include "sim/sim_line.h"

namespace {

std::mutex g_outputMutex;
bool g_outputClosed = false;  // guarded by g_outputMutex

// Output may go to a pipe; each line is flushed so a reader sees it at once.
// A reader that has gone (`dimlet-sim | head -1`) ends the log, not the line:
// the units go on answering.
void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_outputMutex);
  if (g_outputClosed) return;
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) g_outputClosed = true;
}

std::string Where(const sim::SimLine& line, const sim::SimOptions& options) {
  std::string text = line.SlavePath();
  if (!options.linkPath.empty()) text += " (link " + options.linkPath + ")";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (!OpenClosedStandardStreams()) return 1;
  const sim::SimArguments args = sim::ParseSimArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!args.error.empty()) {
    std::fprintf(stderr, "dimlet-sim: %s\n", args.error.c_str());
    return 2;
  }
  if (args.help) {
    std::fputs(sim::UsageText().c_str(), stdout);
    return 0;
  }
  if (args.version) {
    std::puts("dimlet-sim " DIMLET_VERSION);
    return 0;
  }

  sim::TakeOperatorRequests();

  sim::SimOptions options = args.options;
  options.keepRecords = false;  // the log lines are the record here
  sim::SimLine line(options);
  line.SetLogSink(PrintLine);
  std::string error;
  if (!line.Start(&error)) {
    std::fprintf(stderr, "dimlet-sim: %s\n", error.c_str());
    return 1;
  }
  PrintLine("dimlet-sim: units " + UnitListText(args.options.units) + " on " +
            Where(line, args.options));

  for (;;) {
    const sim::OperatorRequest request = sim::NextOperatorRequest();
    if (request == sim::OperatorRequest::HangUp) {
      line.HangUp();
      PrintLine("dimlet-sim: hung up");
    } else if (request == sim::OperatorRequest::Reconnect) {
      if (line.Reconnect(&error)) {
        PrintLine("dimlet-sim: reconnected on " + Where(line, args.options));
      } else {
        PrintLine("dimlet-sim: cannot reconnect: " + error);
      }
    } else {
      break;
    }
  }
  line.Stop();
  PrintLine("dimlet-sim: stopped");
  return 0;
}
