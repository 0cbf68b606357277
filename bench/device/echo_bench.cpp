// Writing and reading back eight units on a line that echoes, beside the same
// work on a plain line in the same run: taking each echo back and checking it
// must cost nothing a person waits for. Each figure is a ratio to the floor of
// the work, the sum of its pauses: per unit 8 x (18 + 10) + 10 ms of writing
// and 8 x (30 + 20) ms of reading back, 5072 ms for eight units. Each line is
// driven with its echo set, and under "auto", whose once-per-open wait before
// deciding "no echo" is counted in: the line is opened inside the timing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "device/unit_operations.h"
#include "sim/sim_line.h"

namespace {

constexpr double kFloorMs = 5072;

void BM_WriteVerifyEightUnits(benchmark::State& state) {
  const bool echo = state.range(0) != 0;
  const bool automatic = state.range(1) != 0;
  sim::SimOptions options;
  options.echo = echo;
  options.keepRecords = false;
  sim::SimLine line(options);
  std::string error;
  if (!line.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  CSerialLink link([&](int32_t) { return line.SlavePath(); });
  link.SetLineOptions({automatic ? EchoMode::kAuto : echo ? EchoMode::kOn : EchoMode::kOff, 0, false});
  std::vector<unit_operations::UnitRow> rows;
  for (int32_t r = 0; r < 8; ++r) rows.push_back({r, {r, 255, 0, 0xA5}});

  size_t differences = 0;
  double ratio = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    link.ClosePort();
    if (!link.OpenPort(1, 9600)) {
      state.SkipWithError(link.Reason().c_str());
      return;
    }
    for (int32_t unit = 0; unit < 8; ++unit) {
      unit_operations::WriteRows(link, unit, rows);
      differences += unit_operations::VerifyRows(link, unit, rows).size();
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count() / 1000);
    ratio = took.count() / kFloorMs;
  }
  state.counters["ratio"] = ratio;
  state.counters["differences"] = static_cast<double>(differences);
  state.counters["echoes"] = link.Echoes().value_or(false) ? 1 : 0;
  state.counters["failed"] = link.LastFrame() == CSerialLink::FrameOutcome::kSent ? 0 : 1;
}

BENCHMARK(BM_WriteVerifyEightUnits)
    ->ArgNames({"echo", "auto"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
