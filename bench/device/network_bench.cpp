// Programming units through ser2net on loopback against the same work on a
// local pseudo-terminal, side by side in one run: all eight rows written and
// read back on each of eight units, first on the local line, then through
// ser2net (raw, and Telnet with COM-port control).
//
// Per repetition, "ratio" is the network line's time over the local line's;
// "gap_*" are the pauses between a write-row frame's bytes as the simulated
// units received them, in ms, at the 50th, 90th and 99th percentile and at
// the most, and "gap_shift_*" the network's value less the local line's;
// "differ_*" count channels that did not read back as written (late answers
// on a busy machine), which the comparison should show as 0.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "device/serial_link.h"
#include "device/unit_operations.h"
#include "device/unit_protocol.h"
#include "sim/sim_line.h"
#include "support/ser2net_bridge.h"

namespace {

using Clock = std::chrono::steady_clock;

// Write-row frames pause 3 ms between bytes, frames at least 10 ms apart.
constexpr double kLongestFrameGapMs = 8.0;

std::string MakeFolder() {
  char name[] = "/tmp/dimlet-network-bench-XXXXXX";
  if (!mkdtemp(name)) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return name;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

sim::SimOptions RemoteOptions(const std::string& folder) {
  sim::SimOptions options;
  options.linkPath = folder + "/line";
  return options;
}

// Two simulated lines: one the local link opens, one behind ser2net.
struct Rig {
  std::string folder = MakeFolder();
  sim::SimLine local;
  sim::SimLine remote{RemoteOptions(folder)};
  std::unique_ptr<testsupport::Ser2netBridge> bridge;

  Rig() {
    std::string error;
    if (!local.Start(&error) || !remote.Start(&error)) Fail("simulated line: " + error);
    bridge = std::make_unique<testsupport::Ser2netBridge>(folder + "/line", folder);
    if (!bridge->Running()) Fail(bridge->Why());
  }
  ~Rig() {
    bridge.reset();
    remote.Stop();
    std::error_code ignored;  // a folder left in /tmp is no failure of the measurement
    std::filesystem::remove_all(folder, ignored);
  }
};

Rig& SharedRig() {
  static Rig rig;
  return rig;
}

// Rows 0..7 of all eight units written and verified: the seconds taken and
// the channels that did not read back as written (an answer late on a busy
// machine). 0 seconds when the line does not open.
struct Run {
  double seconds = 0;
  size_t differences = 0;
};

Run WriteAndVerify(const std::string& device) {
  CSerialLink link([device](int32_t) { return device; });
  if (!link.OpenPort(1, kLineBaud)) {
    std::fprintf(stderr, "%s: %s\n", device.c_str(), link.Reason().c_str());
    return {};
  }
  std::vector<unit_operations::UnitRow> rows;
  for (int32_t row = 0; row < unit_protocol::kRowsPerUnit; ++row) {
    rows.push_back({row, {row * 30, 255, 13, 255 - row}});
  }
  const auto start = Clock::now();
  size_t differences = 0;
  for (int32_t unit = 0; unit < unit_protocol::kUnitAddresses; ++unit) {
    unit_operations::WriteRows(link, unit, rows);
    differences += unit_operations::VerifyRows(link, unit, rows).size();
  }
  const std::chrono::duration<double> took = Clock::now() - start;
  return {took.count(), differences};
}

// The gaps between the bytes of write-row frames, in ms. A frame starts
// after a gap longer than any inside one; its second byte says which it is.
std::vector<double> WriteFrameGaps(const std::vector<sim::ByteRecord>& received) {
  std::vector<double> gaps;
  size_t frameStart = 0;
  for (size_t i = 1; i < received.size(); ++i) {
    const double ms = std::chrono::duration<double, std::milli>(received[i].at - received[i - 1].at).count();
    if (ms >= kLongestFrameGapMs) {
      frameStart = i;
      continue;
    }
    const bool writeFrame = frameStart + 1 < received.size() && received[frameStart + 1].byte == unit_protocol::kWriteLetter;
    if (writeFrame) gaps.push_back(ms);
  }
  return gaps;
}

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  return sorted[std::min(sorted.size() - 1, static_cast<size_t>(p * static_cast<double>(sorted.size())))];
}

void BM_WriteVerify8Units(benchmark::State& state, bool comPort) {
  Rig& rig = SharedRig();
  const std::string address = comPort ? rig.bridge->ComPortAddress() : rig.bridge->RawAddress();
  double ratioSum = 0;
  size_t localDifferences = 0, networkDifferences = 0;
  std::vector<double> localGaps, networkGaps;
  for (auto _ : state) {
    rig.local.ClearRecords();
    rig.remote.ClearRecords();
    const Run local = WriteAndVerify(rig.local.SlavePath());
    const Run network = WriteAndVerify(address);
    if (local.seconds <= 0 || network.seconds <= 0) {
      state.SkipWithError("a line did not open");
      break;
    }
    state.SetIterationTime(network.seconds);
    ratioSum += network.seconds / local.seconds;
    localDifferences += local.differences;
    networkDifferences += network.differences;
    for (double gap : WriteFrameGaps(rig.local.Received())) localGaps.push_back(gap);
    for (double gap : WriteFrameGaps(rig.remote.Received())) networkGaps.push_back(gap);
  }
  std::sort(localGaps.begin(), localGaps.end());
  std::sort(networkGaps.begin(), networkGaps.end());
  state.counters["ratio"] = benchmark::Counter(ratioSum, benchmark::Counter::kAvgIterations);
  state.counters["differ_local"] = static_cast<double>(localDifferences);
  state.counters["differ_net"] = static_cast<double>(networkDifferences);
  const std::pair<const char*, double> points[] = {{"p50", 0.5}, {"p90", 0.9}, {"p99", 0.99}, {"max", 1.0}};
  for (const auto& [name, p] : points) {
    const double local = Percentile(localGaps, p);
    const double network = Percentile(networkGaps, p);
    state.counters[std::string("gap_local_") + name] = local;
    state.counters[std::string("gap_net_") + name] = network;
    state.counters[std::string("gap_shift_") + name] = network - local;
  }
}

double Smallest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

void Configure(benchmark::internal::Benchmark* b) {
  b->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(5)
      ->ComputeStatistics("min", Smallest)
      ->ReportAggregatesOnly(true);
}

BENCHMARK_CAPTURE(BM_WriteVerify8Units, ser2net_raw, false)->Apply(Configure);
BENCHMARK_CAPTURE(BM_WriteVerify8Units, ser2net_rfc2217, true)->Apply(Configure);

}  // namespace
