// The serving thread of the simulated line: waits on the master side or the
// TCP client (and takes clients as they come), hands whole frames to the
// units, sends their answers when due, and keeps the records and log lines.
#include <cstdio>

#include "sim/sim_line_impl.h"
#include "sim/slave_link.h"

namespace sim {
namespace {

// How long to leave a master alone that reported no client (EIO), rather
// than polling it in a tight loop.
constexpr std::chrono::milliseconds kNoClientPause{20};

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  std::string out;
  char cell[4];
  for (uint8_t b : bytes) {
    std::snprintf(cell, sizeof cell, "%02x", b);
    if (!out.empty()) out += ' ';
    out += cell;
  }
  return out;
}

std::string Stamp(double seconds, const std::string& text) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%.3f ", seconds);
  return stamp + text;
}

}  // namespace

void SimLine::Impl::LoadState(std::string* error) {
  if (options.stateFile.empty() || stateFile) return;
  UnitStateFile file(options.stateFile);
  if (!file.Load(error)) return;
  // A unit starts from its stored copy, as a real one does after power-up.
  for (const auto& [address, rows] : file.Entries()) {
    if (UnitState* unit = units.Find(address)) {
      unit->stored = rows;
      unit->rows = rows;
    }
  }
  stateFile = std::move(file);
}

void SimLine::Impl::KeepStored(int address, std::vector<std::string>* lines) {
  if (!stateFile) return;
  const UnitState* unit = units.Find(address);
  if (!unit) return;
  stateFile->Set(address, unit->stored);
  std::string error;
  if (!stateFile->Save(&error)) {
    lines->push_back(Stamp(Seconds(Clock::now()), "cannot keep stored rows: " + error));
  }
}

int SimLine::Impl::PollTimeoutMs(SteadyTime now) const {
  std::optional<SteadyTime> next = scanner.NextDeadline();
  auto earliest = [&next](SteadyTime t) { next = next ? std::min(*next, t) : t; };
  if (!pending.empty() && !writeBlocked) earliest(pending.front().due);
  if (LineOpen() && quietUntil > now) earliest(quietUntil);
  if (!next) return -1;
  if (*next <= now) return 0;
  // Rounded up: waking a moment early would only loop back to poll again.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
  return static_cast<int>(std::min<long long>(wait.count(), 60'000));
}

bool SimLine::Impl::OpenLine(std::string* error) {
  if (Listening()) {
    std::string where;
    listener = io::Listen(options.listenHost, options.listenPort, &where, error);
    if (listener == io::kNoHandle) return false;
    slavePath = "tcp://" + where;
    return true;
  }
  if (!pty->Open(error)) return false;
  slavePath = pty->SlavePath();
  if (options.linkPath.empty()) return true;
  if (!PointLink(options.linkPath, slavePath, error)) return false;
  linkTarget = slavePath;
  return true;
}

void SimLine::Impl::AcceptClients(std::vector<std::string>* lines) {
  for (;;) {
    std::string peer;
    const io::Handle fresh = io::Accept(listener, &peer);
    if (fresh == io::kNoHandle) return;
    const double seconds = Seconds(Clock::now());
    if (client != io::kNoHandle) {
      // Two hosts on one line would interleave their frames: the second is
      // closed at once, and says so here rather than sending bytes a client
      // would take for the units'.
      io::Close(fresh);
      lines->push_back(Stamp(seconds, "refused client " + peer + ": one client at a time, and " + clientPeer +
                                          " is connected"));
      continue;
    }
    DropLine();
    client = fresh;
    clientPeer = peer;
    lines->push_back(Stamp(seconds, "client " + peer + " connected"));
  }
}

void SimLine::Impl::DropClient(const std::string& why, std::vector<std::string>* lines) {
  lines->push_back(Stamp(Seconds(Clock::now()), "client " + clientPeer + " " + why + "; waiting for the next"));
  DropLine();
}

void SimLine::Impl::ReadLine(SteadyTime now, std::vector<ScanEvent>* events, std::vector<std::string>* lines) {
  uint8_t buffer[256];
  for (;;) {
    const io::Transfer got = io::Read(LineHandle(), buffer, sizeof buffer);
    if (got.status == io::Transfer::Status::Done && got.count > 0) {
      for (size_t i = 0; i < got.count; ++i) {
        if (options.keepRecords) received.push_back(ByteRecord{now, buffer[i]});
        scanner.Feed(buffer[i], now, events);
      }
      // Queued before any answer to the frame these bytes end, so the host
      // hears its own bytes first, as on the wire.
      if (options.echo) Queue(now, std::vector<uint8_t>(buffer, buffer + got.count));
      continue;
    }
    if (Listening() && got.status == io::Transfer::Status::Ended) DropClient("hung up", lines);
    if (Listening() && got.status == io::Transfer::Status::Failed) DropClient("lost: " + got.error, lines);
    // A master with no client on its slave (EIO): keep it and look again
    // shortly, instead of spinning on a descriptor that stays ready.
    if (!Listening() && got.status == io::Transfer::Status::Ended) quietUntil = now + kNoClientPause;
    return;
  }
}

void SimLine::Impl::WriteDue(SteadyTime now, std::vector<std::string>* lines) {
  writeBlocked = false;
  while (!pending.empty() && pending.front().due <= now) {
    if (!LineOpen()) {
      pending.clear();
      return;
    }
    std::vector<uint8_t>& bytes = pending.front().bytes;
    const io::Transfer put = io::Write(LineHandle(), bytes.data(), bytes.size());
    if (put.status == io::Transfer::Status::WouldBlock) {
      writeBlocked = true;  // the client is not reading; wait for room
      return;
    }
    if (Listening() && put.status != io::Transfer::Status::Done) {
      DropClient(put.status == io::Transfer::Status::Ended ? "hung up" : "lost: " + put.error, lines);
      return;
    }
    if (put.status != io::Transfer::Status::Done) {
      const std::string why = put.status == io::Transfer::Status::Ended ? "no client" : put.error;
      lines->push_back(Stamp(Seconds(now), "answer of " + std::to_string(bytes.size()) + " bytes lost: " + why));
      pending.erase(pending.begin());
      continue;
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(put.count));
    if (bytes.empty()) pending.erase(pending.begin());
  }
}

void SimLine::Impl::Handle(const std::vector<ScanEvent>& events, std::vector<std::string>* lines) {
  for (const ScanEvent& event : events) {
    const double seconds = Seconds(event.at);
    if (event.kind == ScanEvent::Kind::Skipped) {
      const bool cut = event.count > event.bytes.size();
      lines->push_back(Stamp(seconds, "skipped " + std::to_string(event.count) + " bytes: " +
                                          HexBytes(event.bytes) + (cut ? " ..." : "")));
      continue;
    }
    FrameAction action = units.Apply(event.bytes, answer);
    ++frameCount;
    if (options.keepRecords) frames.push_back(FrameRecord{seconds, event.bytes, action.text});
    lines->push_back(Stamp(seconds, action.text));
    if (!action.answer.empty()) {
      Queue(event.at + std::chrono::milliseconds(answer.delayMs), std::move(action.answer));
    }
    if (action.stored) KeepStored(action.storedAddress, lines);
  }
}

void SimLine::Impl::DropLine() {
  if (Listening()) {
    io::Close(client);
    client = io::kNoHandle;
    clientPeer.clear();
  } else {
    pty->Close();
  }
  ++ptyGeneration;
  pending.clear();
  latencyRelease = {};
  writeBlocked = false;
  quietUntil = {};
  scanner.Reset();
}

void SimLine::Impl::CloseLine() {
  DropLine();
  io::Close(listener);
  listener = io::kNoHandle;
  if (!linkTarget.empty()) RemoveLinkTo(options.linkPath, linkTarget);
  linkTarget.clear();
}

void SimLine::Impl::Serve() {
  io::RaiseThreadPriority();
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    SteadyTime now = Clock::now();
    enum { kWake, kLine, kListener, kWatches };
    io::Watch watches[kWatches];
    watches[kWake] = {wake.Waitable(), true, false, false, false};
    if (LineOpen() && now >= quietUntil) watches[kLine] = {LineHandle(), true, writeBlocked, false, false};
    watches[kListener] = {listener, true, false, false, false};
    const int timeout = PollTimeoutMs(now);
    const uint64_t generation = ptyGeneration;
    lock.unlock();
    io::Wait(watches, kWatches, timeout);
    now = Clock::now();
    if (watches[kWake].readable) wake.Take();
    lock.lock();

    std::vector<ScanEvent> events;
    std::vector<std::string> lines;
    // A line closed or replaced while we waited is not read: its handle may
    // already belong to the new one.
    if (generation == ptyGeneration && watches[kLine].readable) ReadLine(now, &events, &lines);
    if (watches[kListener].readable) AcceptClients(&lines);
    scanner.Idle(now, &events);
    Handle(events, &lines);
    WriteDue(Clock::now(), &lines);
    const bool newFrames = std::any_of(events.begin(), events.end(), [](const ScanEvent& e) {
      return e.kind == ScanEvent::Kind::Frame;
    });
    auto sinkCopy = sink;
    lock.unlock();
    if (newFrames) framesChanged.notify_all();
    if (sinkCopy) {
      for (const std::string& line : lines) sinkCopy(line);
    }
    lock.lock();
  }
}

}  // namespace sim
