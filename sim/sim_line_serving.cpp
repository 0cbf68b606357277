// The serving thread of the simulated line: polls the master side, hands
// whole frames to the units, sends their answers when due, and keeps the
// records and log lines.
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/sim_line_impl.h"

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
        if (options.keepRecords) received.push_back(ByteRecord{now, buffer[i]});
        scanner.Feed(buffer[i], now, events);
      }
      // Queued before any answer to the frame these bytes end, so the host
      // hears its own bytes first, as on the wire.
      if (options.echo) Queue(now, std::vector<uint8_t>(buffer, buffer + n));
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

void SimLine::Impl::DropPty() {
  pty->Close();
  ++ptyGeneration;
  pending.clear();
  latencyRelease = {};
  writeBlocked = false;
  scanner.Reset();
}

// A real unit answers within its own time, whatever the host is doing; the
// simulated one gets real-time priority where the system allows it (root, or
// an rtprio limit), so a busy machine does not make its answers late.
// Where it is not allowed the thread keeps its normal priority.
static void RaiseServingPriority() {
  sched_param param{};
  param.sched_priority = 1;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

void SimLine::Impl::Serve() {
  RaiseServingPriority();
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

}  // namespace sim
