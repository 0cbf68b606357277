// Start-up as a person sees it: from launching the process to the end of its
// window's first paint, for the program and for two Qt dialogs started the
// same way in the same run (an empty one, and one that draws a line of text
// and so loads the fonts as any window with text must); and their peak memory.
//
// The program's start-up must send the unit its highest sequence, whose
// three 3 ms pauses (9 ms) no window can save; `time_ratio_text` is the
// program's time less those pauses over the text dialog's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/sim_line.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace {

using testsupport::ChildProcess;

constexpr double kProtocolPausesMs = 9;

struct ProcessRun {
  double firstFrameMs = 0;
  double maxRssKiB = 0;
};

// Runs a probe to its end: it prints the moment its first paint ended on the
// monotonic clock this process reads too, then its peak memory (the kernel's
// own figure for a spawned child starts from the parent's).
ProcessRun RunProbe(const char* path, benchmark::State& state) {
  ProcessRun run;
  const auto start = std::chrono::steady_clock::now();
  ChildProcess probe({path}, ChildProcess::Options{{}, true});
  long long paintedNs = 0;
  if (std::sscanf(probe.Line().c_str(), "painted %lld", &paintedNs) != 1) {
    state.SkipWithError((std::string(path) + " reported no first paint").c_str());
    return run;
  }
  std::sscanf(probe.Line().c_str(), "VmHWM: %lf", &run.maxRssKiB);
  if (probe.StopWith(0) != 0) state.SkipWithError((std::string(path) + " did not end cleanly").c_str());
  const auto painted = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(paintedNs));
  run.firstFrameMs = std::chrono::duration<double, std::milli>(painted - start).count();
  return run;
}

void BM_StartupToFirstFrame(benchmark::State& state) {
  testsupport::TempFolder folder;
  sim::SimOptions options;
  options.linkPath = folder.File("com1");
  sim::SimLine line(options);
  if (!line.Start()) {
    state.SkipWithError("simulator did not start");
    return;
  }
  // The probe's profile is named after it, like the program's.
  testsupport::WriteFile(folder.File("startup_probe_dimlet.ini"), "[Ports]\nCom 1=" + options.linkPath + "\n");
  setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);

  double dimletMs = 0, emptyMs = 0, textMs = 0, dimletRss = 0, emptyRss = 0;
  for (auto _ : state) {
    const ProcessRun empty = RunProbe(STARTUP_PROBE_EMPTY, state);
    const ProcessRun text = RunProbe(STARTUP_PROBE_TEXT, state);
    const ProcessRun dimlet = RunProbe(STARTUP_PROBE_DIMLET, state);
    state.SetIterationTime(dimlet.firstFrameMs / 1000);
    dimletMs += dimlet.firstFrameMs;
    emptyMs += empty.firstFrameMs;
    textMs += text.firstFrameMs;
    dimletRss = std::max(dimletRss, dimlet.maxRssKiB);
    emptyRss = std::max(emptyRss, empty.maxRssKiB);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["empty_ms"] = emptyMs / n;
  state.counters["text_ms"] = textMs / n;
  state.counters["dimlet_ms"] = dimletMs / n;
  state.counters["time_ratio"] = dimletMs / emptyMs;
  state.counters["time_ratio_text"] = (dimletMs / n - kProtocolPausesMs) / (textMs / n);
  state.counters["rss_KiB"] = dimletRss;
  state.counters["empty_rss_KiB"] = emptyRss;
  state.counters["rss_ratio"] = dimletRss / emptyRss;
}
BENCHMARK(BM_StartupToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3);

}  // namespace
