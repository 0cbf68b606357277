// The simulated unit line: serves the master side of a pseudo-terminal on a
// thread of its own, hands whole frames to the units, sends their answers,
// and keeps records of everything for tests.
#include "sim_line.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "frame_scanner.h"
#include "pty_pair.h"
#include "slave_link.h"
#include "unit_set.h"
#include "unit_state_file.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

// How long to leave a master alone that reported no client (EIO), rather
// than polling it in a tight loop.
constexpr std::chrono::milliseconds kNoClientPause{20};

struct PendingWrite {
  SteadyTime due;
  std::vector<uint8_t> bytes;
};

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

struct SimLine::Impl {
  explicit Impl(SimOptions o) : options(std::move(o)), units(options.units) {
    answer.delayMs = std::max(0, options.answerDelayMs);
    answer.bytes = std::clamp(options.answerBytes, 0, 4);
    answer.silent = options.silent;
  }

  // Everything below is guarded by `mutex`, except `thread`.
  SimOptions options;
  mutable std::mutex mutex;
  mutable std::condition_variable framesChanged;
  UnitSet units;
  AnswerMode answer;
  std::optional<UnitStateFile> stateFile;
  std::function<void(const std::string&)> sink;
  std::vector<FrameRecord> frames;
  std::vector<ByteRecord> received;
  std::vector<PendingWrite> pending;  // ordered by due time
  bool writeBlocked = false;
  std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>();
  uint64_t ptyGeneration = 0;
  std::string slavePath;
  std::string linkTarget;  // where our link points; empty when there is none
  SteadyTime start = Clock::now();
  SteadyTime quietUntil{};
  FrameScanner scanner;
  int wake[2] = {-1, -1};
  bool started = false;
  bool stopping = false;
  std::thread thread;

  void Wake() {
    if (wake[1] < 0) return;
    const char b = 1;
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    [[maybe_unused]] ssize_t ignored = ::write(wake[1], &b, 1);
  }

  double Seconds(SteadyTime at) const { return std::chrono::duration<double>(at - start).count(); }

  void Queue(SteadyTime due, std::vector<uint8_t> bytes) {
    auto it = std::upper_bound(pending.begin(), pending.end(), due,
                               [](SteadyTime t, const PendingWrite& w) { return t < w.due; });
    pending.insert(it, PendingWrite{due, std::move(bytes)});
  }

  void LoadState(std::string* error);
  void KeepStored(int address, std::vector<std::string>* lines);
  void Serve();
  int PollTimeoutMs(SteadyTime now) const;
  void ReadMaster(SteadyTime now, std::vector<ScanEvent>* events);
  void WriteDue(SteadyTime now, std::vector<std::string>* lines);
  void Handle(const std::vector<ScanEvent>& events, std::vector<std::string>* lines);
  void DropPty();
};

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
  if (pty->IsOpen() && quietUntil > now) earliest(quietUntil);
  if (!next) return -1;
  if (*next <= now) return 0;
  // Rounded up: waking a moment early would only loop back to poll again.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
  return static_cast<int>(std::min<long long>(wait.count(), 60'000));
}

void SimLine::Impl::ReadMaster(SteadyTime now, std::vector<ScanEvent>* events) {
  uint8_t buffer[256];
  for (;;) {
    const ssize_t n = ::read(pty->Master(), buffer, sizeof buffer);
    if (n > 0) {
      for (ssize_t i = 0; i < n; ++i) {
        received.push_back(ByteRecord{now, buffer[i]});
        scanner.Feed(buffer[i], now, events);
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // EIO: no client has the slave open just now. Keep the master and look
    // again shortly, instead of spinning on a descriptor that stays ready.
    if (n < 0 && errno == EIO) quietUntil = now + kNoClientPause;
    return;
  }
}

void SimLine::Impl::WriteDue(SteadyTime now, std::vector<std::string>* lines) {
  writeBlocked = false;
  while (!pending.empty() && pending.front().due <= now) {
    if (!pty->IsOpen()) {
      pending.clear();
      return;
    }
    std::vector<uint8_t>& bytes = pending.front().bytes;
    const ssize_t n = ::write(pty->Master(), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      writeBlocked = true;  // the client is not reading; wait for room
      return;
    }
    if (n < 0) {
      lines->push_back(Stamp(Seconds(now), "answer of " + std::to_string(bytes.size()) +
                                               " bytes lost: " + std::strerror(errno)));
      pending.erase(pending.begin());
      continue;
    }
    bytes.erase(bytes.begin(), bytes.begin() + n);
    if (bytes.empty()) pending.erase(pending.begin());
  }
}

void SimLine::Impl::Handle(const std::vector<ScanEvent>& events, std::vector<std::string>* lines) {
  for (const ScanEvent& event : events) {
    const double seconds = Seconds(event.at);
    if (event.kind == ScanEvent::Kind::Skipped) {
      lines->push_back(Stamp(seconds, "skipped " + std::to_string(event.bytes.size()) +
                                          " bytes: " + HexBytes(event.bytes)));
      continue;
    }
    FrameAction action = units.Apply(event.bytes, answer);
    frames.push_back(FrameRecord{seconds, event.bytes, action.text});
    lines->push_back(Stamp(seconds, action.text));
    if (!action.answer.empty()) {
      Queue(event.at + std::chrono::milliseconds(answer.delayMs), std::move(action.answer));
    }
    if (action.stored) KeepStored(action.storedAddress, lines);
  }
}

void SimLine::Impl::DropPty() {
  pty->Close();
  ++ptyGeneration;
  pending.clear();
  writeBlocked = false;
  scanner.Reset();
}

void SimLine::Impl::Serve() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    SteadyTime now = Clock::now();
    pollfd fds[2] = {{wake[0], POLLIN, 0}, {-1, 0, 0}};
    if (pty->IsOpen() && now >= quietUntil) {
      fds[1].fd = pty->Master();
      fds[1].events = static_cast<short>(POLLIN | (writeBlocked ? POLLOUT : 0));
    }
    const int timeout = PollTimeoutMs(now);
    const uint64_t generation = ptyGeneration;
    lock.unlock();
    const int ready = ::poll(fds, 2, timeout);
    now = Clock::now();
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      char drain[64];
      while (::read(wake[0], drain, sizeof drain) > 0) {
      }
    }
    lock.lock();

    std::vector<ScanEvent> events;
    std::vector<std::string> lines;
    // A master closed or replaced while we polled is not read: its number
    // may already belong to the new one.
    if (ready > 0 && generation == ptyGeneration && fds[1].fd >= 0 && fds[1].revents != 0) {
      if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) ReadMaster(now, &events);
    }
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

SimLine::SimLine(SimOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

SimLine::~SimLine() { Stop(); }

bool SimLine::Start(std::string* error) {
  Impl& d = *m_impl;
  std::lock_guard<std::mutex> lock(d.mutex);
  std::string reason;
  if (d.started) {
    reason = "the line is already running";
  } else {
    d.LoadState(&reason);
  }
  if (reason.empty()) d.pty->Open(&reason);
  if (reason.empty() && !d.options.linkPath.empty()) {
    if (PointLink(d.options.linkPath, d.pty->SlavePath(), &reason)) d.linkTarget = d.pty->SlavePath();
  }
  if (reason.empty() && ::pipe2(d.wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    reason = std::string("cannot make a wake-up pipe: ") + std::strerror(errno);
  }
  if (!reason.empty()) {
    if (!d.started) {
      d.pty->Close();
      if (!d.linkTarget.empty()) RemoveLinkTo(d.options.linkPath, d.linkTarget);
      d.linkTarget.clear();
    }
    if (error) *error = reason;
    return false;
  }
  d.slavePath = d.pty->SlavePath();
  ++d.ptyGeneration;
  d.start = Clock::now();
  d.scanner.Reset();
  d.stopping = false;
  d.started = true;
  d.thread = std::thread([&d] { d.Serve(); });
  return true;
}

void SimLine::Stop() {
  Impl& d = *m_impl;
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.started) return;
    d.stopping = true;
    d.Wake();
  }
  d.thread.join();
  std::lock_guard<std::mutex> lock(d.mutex);
  d.DropPty();
  if (!d.linkTarget.empty()) RemoveLinkTo(d.options.linkPath, d.linkTarget);
  d.linkTarget.clear();
  for (int& fd : d.wake) {
    ::close(fd);
    fd = -1;
  }
  d.started = false;
}

const std::string& SimLine::SlavePath() const { return m_impl->slavePath; }

void SimLine::SetLogSink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->sink = std::move(sink);
}

void SimLine::SetAnswerDelay(int ms) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->answer.delayMs = std::max(0, ms);
}

void SimLine::SetAnswerBytes(int count) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->answer.bytes = std::clamp(count, 0, 4);
}

void SimLine::SetSilent(bool silent) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->answer.silent = silent;
}

void SimLine::SendStray(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (bytes.empty() || !m_impl->pty->IsOpen()) return;
  m_impl->Queue(Clock::now(), bytes);
  m_impl->Wake();
}

void SimLine::HangUp() {
  Impl& d = *m_impl;
  std::lock_guard<std::mutex> lock(d.mutex);
  d.DropPty();
  // Like a device unplugged: the name goes away with it, so a client cannot
  // open a stale path that the system may hand to another pseudo-terminal.
  if (!d.linkTarget.empty()) RemoveLinkTo(d.options.linkPath, d.linkTarget);
  d.linkTarget.clear();
  d.Wake();
}

bool SimLine::Reconnect(std::string* error) {
  Impl& d = *m_impl;
  std::lock_guard<std::mutex> lock(d.mutex);
  if (!d.started) {
    if (error) *error = "the line is not running";
    return false;
  }
  auto fresh = std::make_unique<PtyPair>();
  std::string reason;
  if (fresh->Open(&reason) && !d.options.linkPath.empty()) {
    PointLink(d.options.linkPath, fresh->SlavePath(), &reason);
  }
  if (!reason.empty()) {
    if (error) *error = reason;
    return false;
  }
  d.DropPty();
  d.pty = std::move(fresh);
  ++d.ptyGeneration;
  d.slavePath = d.pty->SlavePath();
  if (!d.options.linkPath.empty()) d.linkTarget = d.slavePath;
  d.quietUntil = {};
  d.Wake();
  return true;
}

std::vector<FrameRecord> SimLine::Frames() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->frames;
}

std::vector<ByteRecord> SimLine::Received() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->received;
}

std::vector<uint8_t> SimLine::ReceivedBytes() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  std::vector<uint8_t> bytes;
  bytes.reserve(m_impl->received.size());
  for (const ByteRecord& r : m_impl->received) bytes.push_back(r.byte);
  return bytes;
}

void SimLine::ClearRecords() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->frames.clear();
  m_impl->received.clear();
}

bool SimLine::WaitForFrames(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_impl->mutex);
  return m_impl->framesChanged.wait_for(lock, timeout,
                                        [this, count] { return m_impl->frames.size() >= count; });
}

bool SimLine::HasUnit(int address) const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->units.Find(address) != nullptr;
}

UnitState SimLine::Unit(int address) const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (const UnitState* unit = m_impl->units.Find(address)) return *unit;
  UnitState none;
  none.address = -1;
  return none;
}

void SimLine::SetUnitRow(int address, int row, std::array<int, 4> values) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  UnitState* unit = m_impl->units.Find(address);
  if (!unit || row < 0 || row >= static_cast<int>(unit->rows.size())) return;
  for (int& v : values) v = std::clamp(v, 0, 255);
  unit->rows[static_cast<size_t>(row)] = values;
}

}  // namespace sim
