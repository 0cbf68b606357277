// Save and Load of the full settings record beside a bare atomic write of the
// same bytes (temporary file, write, fsync, rename, folder fsync) in the same
// folder. The folder sits next to this executable, so on the build's disk
// rather than on a tmpfs /tmp. Compare the medians of one run; interleaving
// the repetitions lets all of them share the disk's changing load:
//   settings_bench --benchmark_repetitions=9
//                  --benchmark_enable_random_interleaving=true
//                  --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/profile_store.h"

namespace {

std::string BenchFolder() {
  static const std::string folder = [] {
    std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "bench-profile";
    std::filesystem::create_directories(dir);
    return dir.string();
  }();
  return folder;
}

LedSettings Record(int32_t salt) {
  LedSettings settings;
  settings.comPort = 2;
  settings.maxSq = 8;
  for (int i = 0; i < 32; ++i) settings.seq.cells[i] = (i * 37 + salt) % 256;
  return settings;
}

// The bytes Save writes for a full record, as a first save leaves them.
std::string ProfileBytes() {
  const std::string path = BenchFolder() + "/bytes.ini";
  std::filesystem::remove(path);
  std::string error;
  if (!CProfileStore(path).Save("LED", Record(0), &error)) std::abort();
  std::string bytes(std::filesystem::file_size(path), '\0');
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0 || read(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
  close(fd);
  return bytes;
}

void RawAtomicWrite(const std::string& path, const std::string& bytes, bool syncFolder) {
  const std::string temp = path + ".raw-tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || fsync(fd) != 0) {
    std::abort();
  }
  close(fd);
  if (rename(temp.c_str(), path.c_str()) != 0) std::abort();
  if (syncFolder) {
    int dir = open(BenchFolder().c_str(), O_RDONLY | O_DIRECTORY);
    if (dir < 0 || fsync(dir) != 0) std::abort();
    close(dir);
  }
}

void BM_RawAtomicWrite(benchmark::State& state) {
  const std::string bytes = ProfileBytes();
  const std::string path = BenchFolder() + "/raw.ini";
  for (auto _ : state) RawAtomicWrite(path, bytes, true);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_RawAtomicWrite)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Without the folder fsync: the rename is not yet durable, but this is the
// cheapest a replacement can be.
void BM_RawAtomicWriteNoFolderSync(benchmark::State& state) {
  const std::string bytes = ProfileBytes();
  const std::string path = BenchFolder() + "/raw.ini";
  for (auto _ : state) RawAtomicWrite(path, bytes, false);
}
BENCHMARK(BM_RawAtomicWriteNoFolderSync)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_Save(benchmark::State& state) {
  const std::string path = BenchFolder() + "/save.ini";
  std::filesystem::remove(path);
  int32_t salt = 0;
  for (auto _ : state) {
    std::string error;
    if (!CProfileStore(path).Save("LED", Record(++salt), &error)) state.SkipWithError(error.c_str());
  }
}
BENCHMARK(BM_Save)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The usual start-up: every key is present, so nothing is written back.
void BM_Load(benchmark::State& state) {
  const std::string path = BenchFolder() + "/load.ini";
  std::filesystem::remove(path);
  std::string error;
  if (!CProfileStore(path).Save("LED", Record(1), &error)) state.SkipWithError(error.c_str());
  LedSettings settings;
  for (auto _ : state) {
    if (!CProfileStore(path).Load("LED", settings, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(settings);
  }
}
BENCHMARK(BM_Load)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The first start-up: no file yet, so Load writes all its keys back.
void BM_LoadFirstRun(benchmark::State& state) {
  const std::string path = BenchFolder() + "/first.ini";
  LedSettings settings;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(path);
    state.ResumeTiming();
    std::string error;
    if (!CProfileStore(path).Load("LED", settings, &error)) state.SkipWithError(error.c_str());
  }
}
BENCHMARK(BM_LoadFirstRun)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
