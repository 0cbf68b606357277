// Load and Save of profiles of many short lines (blank lines, as a tester or a
// broken tool leaves them, and one-character keys), measured against reading
// the same file whole in the same run:
//   peak_per_byte  the most heap memory held at once during the call, per byte
//                  of the file (reading the file alone needs 1.0)
//   vs_read        the call's time over the time of reading the file alone
//   settings_bench --benchmark_filter=Lines
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "settings/profile_store.h"
#include "settings/whole_file.h"

namespace {

std::atomic<size_t> g_heldBytes{0};
std::atomic<size_t> g_peakBytes{0};

// Each block carries its size in front so that freeing it is counted too.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size) {
  void* block = std::malloc(size + kHeader);
  if (!block) throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  const size_t held = g_heldBytes += size;
  size_t peak = g_peakBytes.load();
  while (held > peak && !g_peakBytes.compare_exchange_weak(peak, held)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void Free(void* pointer) {
  if (!pointer) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  g_heldBytes -= *static_cast<size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* pointer) noexcept { Free(pointer); }
void operator delete[](void* pointer) noexcept { Free(pointer); }
void operator delete(void* pointer, size_t) noexcept { Free(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Free(pointer); }

namespace {

using Clock = std::chrono::steady_clock;

std::string Folder() {
  static const std::string folder = [] {
    std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "bench-profile";
    std::filesystem::create_directories(dir);
    return dir.string();
  }();
  return folder;
}

void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::remove(path);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size()) std::abort();
  std::fclose(file);
}

std::string ManyLines(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0)) << 20;
  if (state.range(1) == 0) return std::string(size, '\n');
  std::string text;
  text.reserve(size);
  while (text.size() + 2 <= size) text += "=\n";
  return text;
}

// Runs `call` on a fresh copy of the profile each iteration and reports its
// peak memory and its time against a whole read of the same file.
template <typename Call>
void Measure(benchmark::State& state, Call call) {
  const std::string path = Folder() + "/lines.ini";
  const std::string text = ManyLines(state);
  double peakPerByte = 0;
  double callSeconds = 0;
  double readSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    WriteText(path, text);
    std::string bytes;
    std::string error;
    const auto readStart = Clock::now();
    if (!ReadWholeFile(path, &bytes, nullptr, &error)) state.SkipWithError(error.c_str());
    readSeconds += std::chrono::duration<double>(Clock::now() - readStart).count();
    bytes = std::string();
    g_peakBytes = g_heldBytes.load();
    const size_t before = g_heldBytes.load();
    state.ResumeTiming();

    const auto callStart = Clock::now();
    if (!call(path)) state.SkipWithError("the profile call failed");
    callSeconds += std::chrono::duration<double>(Clock::now() - callStart).count();

    state.PauseTiming();
    peakPerByte = std::max(peakPerByte, static_cast<double>(g_peakBytes - before) / static_cast<double>(text.size()));
    state.ResumeTiming();
  }
  state.counters["peak_per_byte"] = peakPerByte;
  state.counters["vs_read"] = callSeconds / readSeconds;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// range(0): size in MiB; range(1): 0 blank lines, 1 "=" key lines.
void BM_LoadManyLines(benchmark::State& state) {
  Measure(state, [](const std::string& path) {
    LedSettings settings;
    std::string error;
    return CProfileStore(path).Load("LED", settings, &error);
  });
}
BENCHMARK(BM_LoadManyLines)->Args({10, 0})->Args({60, 0})->Args({10, 1})->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SaveManyLines(benchmark::State& state) {
  Measure(state, [](const std::string& path) {
    std::string error;
    return CProfileStore(path).Save("LED", LedSettings{}, &error);
  });
}
BENCHMARK(BM_SaveManyLines)->Args({10, 0})->Args({10, 1})->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
