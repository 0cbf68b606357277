// The window's commands as the operator starts them: the all-rows download and
// upload against their floors (the sum of their pauses), and the slider
// handlers that must keep up with a drag.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSlider>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/controller_dlg.h"
#include "app/dialog_template.h"
#include "app/message_boxes.h"
#include "app/slider.h"
#include "dialog_test_access.h"
#include "sim/sim_line.h"

namespace {

// The confirmation box, answered at once.
class AnsweredBoxes : public CMessageBoxes {
 public:
  void Show(QWidget*, const QString&) override {}
};

struct Window {
  Window() : dir(std::filesystem::temp_directory_path() / "dimlet-app-bench") {
    std::filesystem::create_directories(dir);
    sim::SimOptions options;
    options.linkPath = (dir / "com1").string();
    line = std::make_unique<sim::SimLine>(options);
    line->Start();
    const std::string profile = (dir / "dimlet.ini").string();
    std::ofstream(profile) << "[Ports]\nCom 1=" << options.linkPath << "\n";
    dlg = std::make_unique<CControllerDlg>(settings, profile, boxes);
    dlg->Start();
  }
  ~Window() {
    dlg.reset();
    line.reset();
    std::filesystem::remove_all(dir);
  }
  std::filesystem::path dir;
  std::unique_ptr<sim::SimLine> line;
  LedSettings settings;
  AnsweredBoxes boxes;
  std::unique_ptr<CControllerDlg> dlg;
};

void RunAllRows(benchmark::State& state, int buttonId, double floorMs) {
  Window window;
  CControllerDlgTestAccess(*window.dlg).ControlAs<QAbstractButton>(ctl::kAllRows)->click();
  auto* button = CControllerDlgTestAccess(*window.dlg).ControlAs<QAbstractButton>(buttonId);
  double totalMs = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    button->click();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(ms / 1000);
    totalMs += ms;
    window.line->ClearRecords();
  }
  state.counters["ratio_to_floor"] = totalMs / state.iterations() / floorMs;
}

// 8 x (18 ms of write-row pauses + 10 ms) + 10 ms.
void BM_DownloadAllRows(benchmark::State& state) { RunAllRows(state, ctl::kDownload, 234); }
BENCHMARK(BM_DownloadAllRows)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);

// 8 x (30 ms of read-row pauses + 20 ms).
void BM_UploadAllRows(benchmark::State& state) { RunAllRows(state, ctl::kUpload, 400); }
BENCHMARK(BM_UploadAllRows)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);

// Each notification runs through the event table, as a drag or release does.
void RunSlider(benchmark::State& state, void (CSlider::*notification)()) {
  Window window;
  CSlider* slider = CControllerDlgTestAccess(*window.dlg).Slider(1);
  int value = 0;
  for (auto _ : state) {
    slider->SetValue(value++ & 0xFF);
    (slider->*notification)();
  }
}

void BM_SliderCommitted(benchmark::State& state) { RunSlider(state, &CSlider::Committed); }
BENCHMARK(BM_SliderCommitted)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_SliderTracking(benchmark::State& state) { RunSlider(state, &CSlider::Tracking); }
BENCHMARK(BM_SliderTracking)->Unit(benchmark::kMicrosecond)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

namespace {

// Builds and starts the window on `profileText` (plus a [Ports] entry for the
// simulator) and returns the milliseconds that took; the window is gone after.
double StartMs(const std::string& profileText) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "dimlet-app-bench-start";
  std::filesystem::create_directories(dir);
  sim::SimOptions options;
  options.linkPath = (dir / "com1").string();
  sim::SimLine line(options);
  line.Start();
  const std::string profile = (dir / "dimlet.ini").string();
  std::ofstream(profile) << profileText << "\n[Ports]\nCom 1=" << options.linkPath << "\n";
  LedSettings settings;
  AnsweredBoxes boxes;
  const auto start = std::chrono::steady_clock::now();
  auto dlg = std::make_unique<CControllerDlg>(settings, profile, boxes);
  dlg->Start();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  dlg.reset();
  std::filesystem::remove_all(dir);
  return ms;
}

}  // namespace

// Start-up on a profile of 10 MB of blank lines (the first start writes the
// keys after them) against start-up on an ordinary profile, in the same run:
// ms is the large start, ratio_to_ordinary the one over the other.
void BM_StartOnTenMegabytesOfBlankLines(benchmark::State& state) {
  const std::string blanks(10u << 20, '\n');
  double largeMs = 0;
  double ordinaryMs = 0;
  for (auto _ : state) {
    ordinaryMs += StartMs("");
    const double ms = StartMs(blanks);
    largeMs += ms;
    state.SetIterationTime(ms / 1000);
  }
  state.counters["ms"] = largeMs / state.iterations();
  state.counters["ratio_to_ordinary"] = largeMs / ordinaryMs;
}
BENCHMARK(BM_StartOnTenMegabytesOfBlankLines)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
