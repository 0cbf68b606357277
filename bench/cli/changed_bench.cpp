// `dimlet-cli write --changed` against a full write with read-back, in the
// same run, on eight units of eight rows on one simulated line:
//   - re-applying an installation that is already in place: its rows are only
//     read (8 x 50 ms of pauses a unit against the full write's 634 ms: 0.63);
//   - with one row changed on each unit: read, then that row written and read
//     back (400 + 28 + 10 + 50 = 488 ms against 634: 0.77).
// Counters: "in_place" and "one_row" are each run's time over the full
// write's in the same iteration (targets: at most 0.65 and 0.80); "full_ms"
// the full write. The journal is written as in use, into a temporary folder.
// `chrt -f 10 changed_bench` keeps a busy machine's scheduler out of the figures.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "cli/cli_run.h"
#include "sim/sim_line.h"
#include "support/temp_folder.h"

namespace {

std::array<int, 4> Planned(int unit, int sequence) { return {unit * 30, sequence * 30, 0, 255}; }

// Runs `args` and returns its time in ms; -1 after marking the state failed.
double TimedRun(benchmark::State& state, const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out, err;
  const CliStreams streams{in, out, err, false};
  const auto start = std::chrono::steady_clock::now();
  const int status = RunCli(args, streams);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  if (status != kExitDone) {
    state.SkipWithError(("dimlet-cli failed: " + err.str()).c_str());
    return -1;
  }
  return took.count();
}

void BM_WriteChangedAgainstAFullWrite(benchmark::State& state) {
  sim::SimOptions options;
  options.keepRecords = false;
  sim::SimLine line(options);
  std::string error;
  if (!line.Start(&error)) {
    state.SkipWithError(("simulated line: " + error).c_str());
    return;
  }
  testsupport::TempFolder folder;
  setenv("DIMLET_JOURNAL", folder.File("journal.jsonl").c_str(), 1);
  const std::string rows = folder.File("site.csv");
  {
    std::ofstream file(rows);
    file << "unit,sequence,ch1,ch2,ch3,ch4,label\n";
    for (int unit = 0; unit < 8; ++unit) {
      for (int sequence = 1; sequence <= 8; ++sequence) {
        const std::array<int, 4> cells = Planned(unit, sequence);
        file << unit << ',' << sequence << ',' << cells[0] << ',' << cells[1] << ',' << cells[2] << ',' << cells[3]
             << ",\"Bar " << unit << ", left\"\n";
      }
    }
  }
  const std::vector<std::string> full = {"write", rows, "--port", line.SlavePath(), "-q"};
  std::vector<std::string> changed = full;
  changed.push_back("--changed");
  double fullSum = 0, inPlaceSum = 0, oneRowSum = 0;
  int round = 0;
  for (auto _ : state) {
    const double fullMs = TimedRun(state, full);
    const double inPlaceMs = fullMs < 0 ? -1 : TimedRun(state, changed);
    if (inPlaceMs < 0) break;
    // One channel of one row per unit no longer as planned.
    for (int unit = 0; unit < 8; ++unit) {
      const int row = (unit + round) % 8;
      std::array<int, 4> cells = Planned(unit, row + 1);
      cells[2] = 77;
      line.SetUnitRow(unit, row, cells);
    }
    ++round;
    const double oneRowMs = TimedRun(state, changed);
    if (oneRowMs < 0) break;
    state.SetIterationTime((fullMs + inPlaceMs + oneRowMs) / 1000);
    fullSum += fullMs;
    inPlaceSum += inPlaceMs / fullMs;
    oneRowSum += oneRowMs / fullMs;
  }
  unsetenv("DIMLET_JOURNAL");
  state.counters["full_ms"] = benchmark::Counter(fullSum, benchmark::Counter::kAvgIterations);
  state.counters["in_place"] = benchmark::Counter(inPlaceSum, benchmark::Counter::kAvgIterations);
  state.counters["one_row"] = benchmark::Counter(oneRowSum, benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_WriteChangedAgainstAFullWrite)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
