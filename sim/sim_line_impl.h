// The inside of SimLine, shared by its public operations (sim_line.cpp) and
// its serving thread (sim_line_serving.cpp). Not for use outside sim/.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "sim/frame_scanner.h"
#include "sim/pty_pair.h"
#include "sim/sim_io.h"
#include "sim/sim_line.h"
#include "sim/unit_set.h"
#include "sim/unit_state_file.h"

namespace sim {

using Clock = std::chrono::steady_clock;

// Bytes waiting to go out to the client: answers and stray bytes.
struct PendingWrite {
  SteadyTime due;
  std::vector<uint8_t> bytes;
};

struct SimLine::Impl {
  explicit Impl(SimOptions o) : options(std::move(o)), units(options.units) {
    answer.delayMs = std::max(0, options.answerDelayMs);
    answer.bytes = std::clamp(options.answerBytes, 0, 4);
    answer.silent = options.silent;
    latencyMs = std::max(0, options.latencyMs);
    units.ShareAddress(options.sharedAddress);
  }

  // Everything below is guarded by `mutex`, except `thread`.
  SimOptions options;
  mutable std::mutex mutex;
  mutable std::condition_variable framesChanged;
  UnitSet units;
  AnswerMode answer;
  int latencyMs = 0;
  SteadyTime latencyRelease{};  // when the bytes held now go out
  std::optional<UnitStateFile> stateFile;
  std::function<void(const std::string&)> sink;
  std::vector<FrameRecord> frames;
  std::vector<ByteRecord> received;
  size_t frameCount = 0;  // frames recognised, kept or not
  std::vector<PendingWrite> pending;  // ordered by due time
  bool writeBlocked = false;
  std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>();
  // Served over TCP: the listening socket and the one client, if any.
  io::Handle listener = io::kNoHandle;
  io::Handle client = io::kNoHandle;
  std::string clientPeer;
  uint64_t ptyGeneration = 0;  // counts every change of the line's handle
  std::string slavePath;
  std::string linkTarget;  // where our link points; empty when there is none
  SteadyTime start = Clock::now();
  SteadyTime quietUntil{};
  FrameScanner scanner;
  io::WakeSignal wake;
  bool started = false;
  bool stopping = false;
  std::thread thread;

  bool Listening() const { return options.listenPort >= 0; }
  // What the client's bytes are read from and answers written to, or kNoHandle.
  io::Handle LineHandle() const {
    if (Listening()) return client;
    return pty->IsOpen() ? static_cast<io::Handle>(pty->Master()) : io::kNoHandle;
  }
  bool LineOpen() const { return LineHandle() != io::kNoHandle; }

  void Wake() { wake.Give(); }

  double Seconds(SteadyTime at) const { return std::chrono::duration<double>(at - start).count(); }

  void Queue(SteadyTime due, std::vector<uint8_t> bytes) {
    if (latencyMs > 0) {
      // The adapter's timer starts with the first byte it holds; whatever
      // comes before it runs out leaves with that byte.
      if (latencyRelease <= due) latencyRelease = due + std::chrono::milliseconds(latencyMs);
      due = latencyRelease;
    }
    auto it = std::upper_bound(pending.begin(), pending.end(), due,
                               [](SteadyTime t, const PendingWrite& w) { return t < w.due; });
    pending.insert(it, PendingWrite{due, std::move(bytes)});
  }

  void LoadState(std::string* error);
  bool OpenLine(std::string* error);
  void AcceptClients(std::vector<std::string>* lines);
  void DropClient(const std::string& why, std::vector<std::string>* lines);
  void KeepStored(int address, std::vector<std::string>* lines);
  void Serve();
  int PollTimeoutMs(SteadyTime now) const;
  void ReadLine(SteadyTime now, std::vector<ScanEvent>* events, std::vector<std::string>* lines);
  void WriteDue(SteadyTime now, std::vector<std::string>* lines);
  void Handle(const std::vector<ScanEvent>& events, std::vector<std::string>* lines);
  void DropLine();   // the pty's master, or the TCP client, and what was pending for it
  void CloseLine();  // DropLine(), and the listener and the link too
};

}  // namespace sim
