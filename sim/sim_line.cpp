// The simulated unit line's public operations: start and stop, behaviour
// switches, hang-up and reconnect, and thread-safe copies of the records.
#include "sim/sim_line.h"

#include "sim/sim_line_impl.h"
#include "sim/slave_link.h"

namespace sim {

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
  if (reason.empty()) d.OpenLine(&reason);
  if (reason.empty()) d.wake.Open(&reason);
  if (!reason.empty()) {
    if (!d.started) d.CloseLine();
    if (error) *error = reason;
    return false;
  }
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
  d.CloseLine();
  d.wake.Close();
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

void SimLine::SetLatency(int ms) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->latencyMs = std::max(0, ms);
  m_impl->latencyRelease = {};
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
  if (bytes.empty() || !m_impl->LineOpen()) return;
  m_impl->Queue(Clock::now(), bytes);
  m_impl->Wake();
}

void SimLine::HangUp() {
  Impl& d = *m_impl;
  std::lock_guard<std::mutex> lock(d.mutex);
  d.DropLine();
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
  if (d.Listening()) {
    d.DropLine();
    d.Wake();
    return true;
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
  d.DropLine();
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
  m_impl->frameCount = 0;
}

bool SimLine::WaitForFrames(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_impl->mutex);
  return m_impl->framesChanged.wait_for(lock, timeout,
                                        [this, count] { return m_impl->frameCount >= count; });
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

void SimLine::SetUnitRow(int address, int row, RowValues values) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  UnitState* unit = m_impl->units.Find(address);
  if (!unit || row < 0 || row >= static_cast<int>(unit->rows.size())) return;
  for (int& v : values) v = std::clamp(v, 0, 255);
  unit->rows[static_cast<size_t>(row)] = values;
}

}  // namespace sim
