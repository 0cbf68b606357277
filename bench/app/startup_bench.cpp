// Whole-process start-up to the window shown, and peak memory, of the program
// beside an empty Qt dialog started the same way in the same run.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/sim_line.h"

extern char** environ;

namespace {

struct ProcessRun {
  double seconds = 0;
  double maxRssKiB = 0;
};

// Runs the probe to its end; its peak memory comes back on its standard output
// (the kernel's own figure for a spawned child starts from the parent's).
ProcessRun RunProcess(const char* path) {
  int out[2];
  if (pipe(out) != 0) std::abort();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>(path), nullptr};
  if (posix_spawn(&pid, path, &actions, nullptr, argv, environ) != 0) std::abort();
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
  ProcessRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  char text[256] = {};
  const ssize_t got = read(out[0], text, sizeof text - 1);
  close(out[0]);
  if (got > 0) std::sscanf(text, "VmHWM: %lf", &run.maxRssKiB);
  return run;
}

void BM_StartupVsEmptyDialog(benchmark::State& state) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "dimlet-startup-bench";
  std::filesystem::create_directories(dir);
  sim::SimOptions options;
  options.linkPath = (dir / "com1").string();
  sim::SimLine line(options);
  if (!line.Start()) {
    state.SkipWithError("simulator did not start");
    return;
  }
  // The probe's profile is named after it, like the program's.
  std::ofstream(dir / "startup_probe_dimlet.ini") << "[Ports]\nCom 1=" << options.linkPath << "\n";
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);

  double dimletTotal = 0, emptyTotal = 0, textTotal = 0, dimletRss = 0, emptyRss = 0;
  for (auto _ : state) {
    const ProcessRun empty = RunProcess(STARTUP_PROBE_EMPTY);
    const ProcessRun text = RunProcess(STARTUP_PROBE_TEXT);
    const ProcessRun dimlet = RunProcess(STARTUP_PROBE_DIMLET);
    state.SetIterationTime(dimlet.seconds);
    dimletTotal += dimlet.seconds;
    emptyTotal += empty.seconds;
    textTotal += text.seconds;
    dimletRss = std::max(dimletRss, dimlet.maxRssKiB);
    emptyRss = std::max(emptyRss, empty.maxRssKiB);
  }
  state.counters["empty_ms"] = 1000 * emptyTotal / state.iterations();
  state.counters["time_ratio"] = dimletTotal / emptyTotal;
  // Against a dialog that also draws text, and so also loads the fonts.
  state.counters["text_ms"] = 1000 * textTotal / state.iterations();
  state.counters["time_ratio_text"] = dimletTotal / textTotal;
  state.counters["rss_KiB"] = dimletRss;
  state.counters["empty_rss_KiB"] = emptyRss;
  state.counters["rss_ratio"] = dimletRss / emptyRss;
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_StartupVsEmptyDialog)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3);

}  // namespace
