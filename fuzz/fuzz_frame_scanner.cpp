// Fuzzes the simulator's frame scanner with arbitrary bytes arriving after
// arbitrary pauses, and checks what a unit line relies on:
// - every byte fed comes out exactly once, in order, in a frame or a skipped run
//   (a long skipped run keeps only its first bytes, and counts the rest);
// - every frame starts with an address byte 0xA0..0xA7 and has the length its
//   type gives, with no pause longer than the allowed gap between its bytes,
//   and is reported at the arrival of its last byte;
// - NextDeadline() says truly when Idle() has something to report;
// - the scanner never wedges: after a pause, after Finish(), or fed the same
//   short frame a few times over, a valid frame is recognised.
//
// Input layout: pairs of (control, byte). The control's low three bits pick
// the pause before the step; a control of 0xC0 or more makes the step an
// Idle() call at that time instead of feeding the byte.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sim/frame_scanner.h"

namespace {

using std::chrono::microseconds;
using sim::FrameScanner;
using sim::ScanEvent;
using sim::SteadyTime;
using Bytes = std::vector<uint8_t>;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "frame scanner invariant broken: %s\n", what);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// The frame length by type, read afresh from the protocol's frame table:
// 0 when `frame` does not start a valid frame.
size_t ValidLength(const Bytes& frame) {
  if (frame.size() < 3 || frame[0] < 0xA0 || frame[0] > 0xA7) return 0;
  if (frame[1] == 'R') return frame[2] < 8 ? 3 : 0;
  if (frame[1] != 'W') return 0;
  if (frame[2] < 8) return 7;
  switch (frame[2]) {
    case 'S':
    case 'R':
    case 'T':
      return 3;
    case 'J':
    case 'Q':
      return 4;
    default:
      return 0;
  }
}

microseconds PauseOf(uint8_t control) {
  // Around the 50 ms limit on purpose: just under, at, and just over it.
  static constexpr std::array<int64_t, 8> kPauses = {0, 0, 1000, 2000, 49999, 50000, 50001, 51000};
  const int64_t longer = ((control >> 3) & 7) * 25000;
  return microseconds((control & 7) == 7 ? kPauses[7] + longer : kPauses[control & 7]);
}

// A deadline that has passed must produce a report, or a line that waits for
// it would spin. The deadline may lie up to a millisecond after the earliest
// moment of a report (it rounds up), never later, or stale bytes would wait.
void IdleAt(FrameScanner& scanner, SteadyTime now, std::vector<ScanEvent>* events) {
  const std::optional<SteadyTime> deadline = scanner.NextDeadline();
  const size_t before = events->size();
  scanner.Idle(now, events);
  const bool reported = events->size() > before;
  if (reported && !(deadline && *deadline <= now + std::chrono::milliseconds(1))) {
    Fail("Idle reported long before NextDeadline");
  }
  if (!reported && deadline && *deadline <= now) Fail("NextDeadline passed but Idle reported nothing");
  for (size_t i = before; i < events->size(); ++i) {
    Check((*events)[i].kind == ScanEvent::Kind::Skipped, "Idle completed a frame");
  }
}

std::vector<ScanEvent> FramesOf(const std::vector<ScanEvent>& events, size_t from) {
  std::vector<ScanEvent> frames;
  for (size_t i = from; i < events.size(); ++i) {
    if (events[i].kind == ScanEvent::Kind::Frame) frames.push_back(events[i]);
  }
  return frames;
}

void Feed(FrameScanner& scanner, const Bytes& bytes, SteadyTime at, std::vector<ScanEvent>* events) {
  for (uint8_t b : bytes) scanner.Feed(b, at, events);
}

// Whatever state the stream left behind, a valid frame must get through.
void CheckNeverWedges(const FrameScanner& scanner, SteadyTime now) {
  // Address-like values inside a write-row: they must not restart the frame.
  const Bytes writeRow = {0xA2, 'W', 5, 0xA1, 'W', 'S', 0xA0};
  const Bytes store = {0xA3, 'W', 'S'};

  {
    FrameScanner after = scanner;
    std::vector<ScanEvent> events;
    Feed(after, writeRow, now + microseconds(50001), &events);
    const std::vector<ScanEvent> frames = FramesOf(events, 0);
    Check(frames.size() == 1 && frames[0].bytes == writeRow, "frame after a pause not recognised");
    Check(events.back().kind == ScanEvent::Kind::Frame, "skipped bytes reported after the frame");
  }
  {
    FrameScanner after = scanner;
    std::vector<ScanEvent> events;
    after.Finish(&events);
    Check(!after.NextDeadline(), "something still pending after Finish");
    const size_t from = events.size();
    Feed(after, store, now, &events);
    const std::vector<ScanEvent> frames = FramesOf(events, from);
    Check(frames.size() == 1 && frames[0].bytes == store, "frame after Finish not recognised");
  }
  {
    // No pause at all: a pending frame may swallow some of these bytes as its
    // values, but at most six, so one of the three copies must come through.
    FrameScanner after = scanner;
    std::vector<ScanEvent> events;
    for (int i = 0; i < 3; ++i) Feed(after, store, now, &events);
    bool seen = false;
    for (const ScanEvent& frame : FramesOf(events, 0)) seen = seen || frame.bytes == store;
    Check(seen, "scanner wedged: back-to-back frames never recognised");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FrameScanner scanner;
  std::vector<ScanEvent> events;
  Bytes fed;
  std::vector<SteadyTime> fedAt;
  SteadyTime now = SteadyTime{} + std::chrono::hours(1);

  for (size_t i = 0; i + 1 < size; i += 2) {
    const uint8_t control = data[i];
    now += PauseOf(control);
    const size_t before = events.size();
    if (control >= 0xC0) {
      IdleAt(scanner, now, &events);
    } else {
      scanner.Feed(data[i + 1], now, &events);
      fed.push_back(data[i + 1]);
      fedAt.push_back(now);
      for (size_t e = before; e < events.size(); ++e) {
        const bool last = e + 1 == events.size();
        if (events[e].kind == ScanEvent::Kind::Frame) {
          Check(last, "a Feed reported something after its frame");
          Check(events[e].at == now, "frame not reported at the arrival of its last byte");
        }
      }
    }
    for (size_t e = before; e < events.size(); ++e) {
      Check(!events[e].bytes.empty(), "empty event");
      Check(events[e].at <= now, "event stamped in the future");
    }
  }

  CheckNeverWedges(scanner, now);
  scanner.Finish(&events);
  Check(!scanner.NextDeadline(), "something still pending after Finish");

  // Every byte exactly once, in order; frames valid and unbroken.
  size_t pos = 0;
  // A skipped run keeps only its first bytes but counts them all.
  for (const ScanEvent& event : events) {
    const bool frame = event.kind == ScanEvent::Kind::Frame;
    const size_t kept = frame ? event.count : std::min(event.count, ScanEvent::kKeptNoise);
    Check(event.bytes.size() == kept, "event keeps other bytes than its count allows");
    Check(pos + event.count <= fed.size(), "more bytes reported than fed");
    for (size_t k = 0; k < event.bytes.size(); ++k) {
      Check(event.bytes[k] == fed[pos + k], "bytes reported out of order or changed");
    }
    const size_t first = pos;
    pos += event.count;
    Check(event.at >= fedAt[pos - 1], "event stamped before its last byte arrived");
    if (!frame) continue;
    Check(ValidLength(event.bytes) == event.bytes.size(), "frame of a wrong length for its type");
    Check(event.at == fedAt[pos - 1], "frame stamped other than at its last byte");
    for (size_t k = first + 1; k < pos; ++k) {
      Check(fedAt[k] - fedAt[k - 1] <= sim::frame::kMaxGap, "frame spans a pause longer than the gap");
    }
  }
  Check(pos == fed.size(), "bytes fed but never reported");
  return 0;
}
