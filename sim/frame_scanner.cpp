// The resynchronising frame scanner of the simulated unit line.
#include "sim/frame_scanner.h"

#include <algorithm>

namespace sim {

// Only the first three bytes decide; later ones are values and may be anything.
int FrameLength(const std::vector<uint8_t>& bytes) {
  using namespace frame;
  if (bytes.empty() || !IsAddressByte(bytes[0])) return -1;
  if (bytes.size() == 1) return 0;
  const uint8_t kind = bytes[1];
  if (kind == kRead) {
    if (bytes.size() >= 3 && bytes[2] >= kRowCount) return -1;
    return static_cast<int>(kReadRowLength);
  }
  if (kind != kWrite) return -1;
  if (bytes.size() == 2) return 0;
  const uint8_t third = bytes[2];
  if (third < kRowCount) return static_cast<int>(kWriteRowLength);
  switch (third) {
    case kStore:
    case kRun:
    case kStop:
      return static_cast<int>(kCommandLength);
    case kNewAddress:
    case kHighestSeq:
      return static_cast<int>(kCommandArgLength);
    default:
      return -1;
  }
}

void FrameScanner::Feed(uint8_t byte, SteadyTime at, std::vector<ScanEvent>* events) {
  const bool quietBefore = m_seenAny && at - m_lastAt > frame::kMaxGap;
  const SteadyTime previousAt = m_lastAt;  // when the pending bytes' last one came
  if (quietBefore) {
    // A unit forgets a half-received frame after a pause; separate noise
    // runs are reported separately for the same reason.
    Skip(m_partial, previousAt);
    m_partial.clear();
    FlushSkipped(events);
  }
  m_seenAny = true;
  m_lastAt = at;

  std::vector<uint8_t>& candidate = m_candidate;
  candidate.assign(m_partial.begin(), m_partial.end());
  candidate.push_back(byte);
  int length = FrameLength(candidate);
  if (length < 0 && !m_partial.empty()) {
    // The byte cannot continue this frame, but it may begin the next one.
    Skip(m_partial, previousAt);
    m_partial.clear();
    candidate.assign(1, byte);
    length = FrameLength(candidate);
  }
  if (length < 0) {
    Skip(candidate, at);
    return;
  }
  m_partial.swap(candidate);
  if (length > 0 && m_partial.size() == static_cast<size_t>(length)) {
    FlushSkipped(events);
    const size_t count = m_partial.size();
    events->push_back({ScanEvent::Kind::Frame, std::move(m_partial), at, count});
    m_partial.clear();
  }
}

void FrameScanner::Idle(SteadyTime now, std::vector<ScanEvent>* events) {
  if (!m_seenAny || now - m_lastAt <= frame::kMaxGap) return;
  Skip(m_partial, m_lastAt);
  m_partial.clear();
  FlushSkipped(events);
}

std::optional<SteadyTime> FrameScanner::NextDeadline() const {
  if (m_partial.empty() && m_skippedCount == 0) return std::nullopt;
  return m_lastAt + frame::kMaxGap + std::chrono::milliseconds(1);
}

void FrameScanner::Finish(std::vector<ScanEvent>* events) {
  Skip(m_partial, m_lastAt);
  m_partial.clear();
  FlushSkipped(events);
}

void FrameScanner::Reset() {
  m_partial.clear();
  m_skipped.clear();
  m_skippedCount = 0;
  m_seenAny = false;
}

void FrameScanner::Skip(const std::vector<uint8_t>& bytes, SteadyTime lastArrival) {
  if (bytes.empty()) return;
  const size_t room = ScanEvent::kKeptNoise - m_skipped.size();
  m_skipped.insert(m_skipped.end(), bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min(room, bytes.size())));
  m_skippedCount += bytes.size();
  m_skippedAt = lastArrival;
}

void FrameScanner::FlushSkipped(std::vector<ScanEvent>* events) {
  if (m_skippedCount == 0) return;
  events->push_back({ScanEvent::Kind::Skipped, std::move(m_skipped), m_skippedAt, m_skippedCount});
  m_skipped.clear();
  m_skippedCount = 0;
}

std::vector<ScanEvent> ScanBytes(const std::vector<ByteRecord>& bytes) {
  FrameScanner scanner;
  std::vector<ScanEvent> events;
  for (const ByteRecord& record : bytes) scanner.Feed(record.byte, record.at, &events);
  scanner.Finish(&events);
  return events;
}

}  // namespace sim
