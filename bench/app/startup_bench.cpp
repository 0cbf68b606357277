// Whole-process start-up to the window shown, and peak memory, of the program
// beside an empty Qt dialog started the same way in the same run.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim_line.h"

extern char** environ;

namespace {

struct ProcessRun {
  double seconds = 0;
  double maxRssKiB = 0;
};

ProcessRun RunProcess(const char* path) {
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>(path), nullptr};
  if (posix_spawn(&pid, path, nullptr, nullptr, argv, environ) != 0) std::abort();
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
  ProcessRun run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.maxRssKiB = static_cast<double>(usage.ru_maxrss);
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

  double dimletTotal = 0, emptyTotal = 0, dimletRss = 0, emptyRss = 0;
  for (auto _ : state) {
    const ProcessRun empty = RunProcess(STARTUP_PROBE_EMPTY);
    const ProcessRun dimlet = RunProcess(STARTUP_PROBE_DIMLET);
    state.SetIterationTime(dimlet.seconds);
    dimletTotal += dimlet.seconds;
    emptyTotal += empty.seconds;
    dimletRss = std::max(dimletRss, dimlet.maxRssKiB);
    emptyRss = std::max(emptyRss, empty.maxRssKiB);
  }
  state.counters["empty_ms"] = 1000 * emptyTotal / state.iterations();
  state.counters["time_ratio"] = dimletTotal / emptyTotal;
  state.counters["rss_KiB"] = dimletRss;
  state.counters["empty_rss_KiB"] = emptyRss;
  state.counters["rss_ratio"] = dimletRss / emptyRss;
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_StartupVsEmptyDialog)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3);

}  // namespace
