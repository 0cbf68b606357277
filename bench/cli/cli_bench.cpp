// `dimlet-cli write` of all eight rows to each of eight units on one
// simulated line, with the read-back that follows by default, as a ratio to
// its floor: the sum of its pauses. Per unit 8 x (18 ms of write-row pauses +
// 10 ms) + 10 ms = 234 ms of writing and 8 x (30 ms of read-row pauses +
// 20 ms) = 400 ms of reading back; 5072 ms for the eight units.
//
// The same on four simulated lines at once (32 units from one installation
// file with a line column): the lines work side by side, so its ratio to the
// one line's floor stays near that of one line.
//
// One iteration lasts five seconds, so each repetition is one iteration; read
// the "ratio" counter's median. `chrt -f 10 cli_bench` keeps a busy machine's
// scheduler out of the figures; without it every pause on a loaded machine
// wakes late by the scheduler's latency, and the ratio shows that instead.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "cli/cli_run.h"
#include "sim/sim_line.h"
#include "support/temp_folder.h"

namespace {

constexpr double kFloorMs = 8 * (234 + 400);

// Eight rows for each of eight units; with `lines`, on each of them.
std::string EightUnitsOfEightRows(const std::vector<std::string>& lines = {}) {
  std::string text = lines.empty() ? "unit,sequence,ch1,ch2,ch3,ch4\n" : "line,unit,sequence,ch1,ch2,ch3,ch4\n";
  const std::vector<std::string> prefixes = lines.empty() ? std::vector<std::string>{""} : lines;
  for (const std::string& line : prefixes) {
    for (int unit = 0; unit < 8; ++unit) {
      for (int sequence = 1; sequence <= 8; ++sequence) {
        text += (line.empty() ? "" : line + ',') + std::to_string(unit) + ',' + std::to_string(sequence) + ',' +
                std::to_string(unit * 30) + ',' + std::to_string(sequence * 30) + ",0,255\n";
      }
    }
  }
  return text;
}

// Runs `args` once per iteration and reports its time against the floor.
void RunAgainstFloor(benchmark::State& state, const std::vector<std::string>& args) {
  double ratioSum = 0;
  int unanswered = 0;  // runs in which some answer came too late on a busy machine
  for (auto _ : state) {
    std::istringstream in;
    std::ostringstream out, err;
    const CliStreams streams{in, out, err, false};
    const auto start = std::chrono::steady_clock::now();
    const int status = RunCli(args, streams);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    // A late answer costs no time (every pause is taken all the same), so the
    // run still counts; it is only counted apart.
    if (status == kExitNoAnswer) {
      ++unanswered;
      std::fprintf(stderr, "late answer: %s", err.str().c_str());
    }
    if (status != kExitDone && status != kExitNoAnswer) {
      state.SkipWithError(("dimlet-cli write failed: " + err.str()).c_str());
      break;
    }
    state.SetIterationTime(took.count());
    ratioSum += took.count() * 1000.0 / kFloorMs;
  }
  state.counters["ratio"] = benchmark::Counter(ratioSum, benchmark::Counter::kAvgIterations);
  state.counters["unanswered"] = unanswered;
}

void BM_WriteEightUnitsWithReadBack(benchmark::State& state) {
  sim::SimLine line;
  std::string error;
  if (!line.Start(&error)) {
    state.SkipWithError(("simulated line: " + error).c_str());
    return;
  }
  testsupport::TempFolder folder;
  const std::string rows = folder.File("rows.csv");
  std::ofstream(rows) << EightUnitsOfEightRows();
  // The journal written as in use, not into the journal of whoever runs this.
  setenv("DIMLET_JOURNAL", folder.File("journal.jsonl").c_str(), 1);

  RunAgainstFloor(state, {"write", rows, "--port", line.SlavePath(), "-q"});
}

void BM_WriteFourLinesOfEightUnitsWithReadBack(benchmark::State& state) {
  std::vector<std::unique_ptr<sim::SimLine>> lines;
  std::vector<std::string> paths;
  for (int l = 0; l < 4; ++l) {
    lines.push_back(std::make_unique<sim::SimLine>());
    std::string error;
    if (!lines.back()->Start(&error)) {
      state.SkipWithError(("simulated line: " + error).c_str());
      return;
    }
    paths.push_back(lines.back()->SlavePath());
  }
  testsupport::TempFolder folder;
  const std::string rows = folder.File("installation.csv");
  std::ofstream(rows) << EightUnitsOfEightRows(paths);
  setenv("DIMLET_JOURNAL", folder.File("journal.jsonl").c_str(), 1);
  RunAgainstFloor(state, {"write", rows, "-q"});
}

BENCHMARK(BM_WriteEightUnitsWithReadBack)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK(BM_WriteFourLinesOfEightUnitsWithReadBack)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
