// How long each unit command takes over a pty against the simulated unit
// line, as a ratio to its floor: the sum of its pauses. A ratio below 1.00
// means a pause was cut short; far above it means the link adds its own delay.
//
// Each repetition times one command; the "ratio" counter's median and min
// aggregates are the figures to read. On a machine busy with other work the
// medians mostly show the scheduler; `chrt -f 10 device_bench` keeps that out.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "device/serial_link.h"
#include "sim/sim_line.h"

namespace {

using Clock = std::chrono::steady_clock;

// One simulated line and one open link, shared by all benchmarks.
struct Rig {
  sim::SimLine line;
  CSerialLink link;
  int missingAnswers = 0;

  Rig() {
    std::string error;
    if (!line.Start(&error)) {
      std::fprintf(stderr, "simulated line: %s\n", error.c_str());
      std::exit(1);
    }
    link.SetPortResolver([this](int32_t) { return line.SlavePath(); });
    link.SetMissingAnswerHandler([this](int) { ++missingAnswers; });
    if (!link.OpenPort(1, 9600)) {
      std::fprintf(stderr, "%s\n", link.Reason().c_str());
      std::exit(1);
    }
  }
};

Rig& SharedRig() {
  static Rig rig;
  return rig;
}

struct Command {
  int floorMs;  // the sum of the command's pauses
  void (*run)(CSerialLink&);
};

void ReadRowOnce(CSerialLink& link) {
  int32_t ch[4] = {};
  link.ReadRow(1, 2, &ch[0], &ch[1], &ch[2], &ch[3]);
}

void BM_Command(benchmark::State& state, Command command) {
  Rig& rig = SharedRig();
  const int missingBefore = rig.missingAnswers;
  double ratioSum = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    command.run(rig.link);
    const std::chrono::duration<double> took = Clock::now() - start;
    state.SetIterationTime(took.count());
    ratioSum += took.count() * 1000.0 / command.floorMs;
  }
  state.counters["ratio"] = benchmark::Counter(ratioSum, benchmark::Counter::kAvgIterations);
  state.counters["missing"] = rig.missingAnswers - missingBefore;
  if (!rig.link.IsPortOpen()) state.SkipWithError(("link closed: " + rig.link.Reason()).c_str());
}

double Smallest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

void Configure(benchmark::internal::Benchmark* b) {
  b->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(100)
      ->ComputeStatistics("min", Smallest)
      ->ReportAggregatesOnly(true);
}

BENCHMARK_CAPTURE(BM_Command, write_row, Command{18, [](CSerialLink& l) { l.WriteRow(1, 2, 0, 128, 255, 44); }})
    ->Apply(Configure);
BENCHMARK_CAPTURE(BM_Command, read_row, Command{30, ReadRowOnce})->Apply(Configure);
BENCHMARK_CAPTURE(BM_Command, store, Command{6, [](CSerialLink& l) { l.StoreOnUnit(1); }})->Apply(Configure);
BENCHMARK_CAPTURE(BM_Command, run_stop, Command{6, [](CSerialLink& l) { l.SetRunState(1, 1); }})
    ->Apply(Configure);
BENCHMARK_CAPTURE(BM_Command, change_address, Command{9, [](CSerialLink& l) { l.ChangeAddress(1, 1); }})
    ->Apply(Configure);
BENCHMARK_CAPTURE(BM_Command, highest_sequence, Command{9, [](CSerialLink& l) { l.SetHighestSequence(1, 8); }})
    ->Apply(Configure);

}  // namespace
