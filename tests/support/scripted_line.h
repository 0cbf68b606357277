// A unit line on virtual time, for the link's logic tests and the explorer:
// a clock that jumps straight to the next event, and a far end that plays the
// units and the line's habits byte for byte, as a transport the link is
// handed through its seam. Written from the units' rules of speech, apart
// from device/ and the simulator: it shares no frame table with either, so a
// wrong byte in the link cannot agree with itself here.
//
// The far end keeps its own record of every byte it received and sent, with
// when and why it sent it (an echo, a unit's answer, noise). That record is
// what a test judges the link by, never the link's own bookkeeping.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/line_transport.h"
#include "device/link_clock.h"

namespace testsupport {

using VirtualTime = std::chrono::steady_clock::time_point;
using Micros = std::chrono::microseconds;

// One byte's time on the wire at 9600 baud, ten bits.
inline constexpr Micros kByteTime{1042};

class VirtualClock final : public LinkClock {
 public:
  time_point Now() override { return m_now; }
  void PauseUntil(time_point until) override { AdvanceTo(until); }
  void AdvanceTo(time_point until) {
    if (until > m_now) m_now = until;
  }

 private:
  time_point m_now{std::chrono::hours(1)};
};

// A unit on the line: its address and the rows it holds.
struct FarUnit {
  int address = 0;
  std::array<std::array<uint8_t, 4>, 8> rows{};
  // Answers this much later than the line's answer delay: a second unit at
  // the same address answers a little apart from the first.
  Micros offset{0};
  // And later again by a step that changes from read to read (0, 1 or 2 of
  // it, by the read's count), as two real units' timings never keep in step.
  Micros drift{0};
};

// How the line returns what it is sent.
struct EchoHabit {
  bool echoes = false;
  // After the byte left. What the line returns comes through the same
  // receiver as what the units send, in the order it was on the wire: every
  // byte the link is sent comes this much later.
  Micros delay{0};
  int dropEvery = 0;    // with n, every n-th echo is lost
  int garbleByte = 0;   // the echo of this byte (counted from 1 on the line) has its low bit flipped
};

// A fault in the answer to one read-row frame, counted from 1 on the line.
struct AnswerFault {
  enum class Kind { kDrop, kGarble, kLate, kExtra, kSilent };
  int read = 1;
  Kind kind = Kind::kDrop;
  int channel = 1;      // 1..4: the byte dropped, garbled or late
  Micros late{0};       // kLate: this much later, with every byte after it
};

struct StrayByte {
  Micros at{0};  // after the line opened
  uint8_t value = 0;
};

struct LineScript {
  std::vector<FarUnit> units;
  // A unit hearing nothing this long inside a frame starts over: the rest of
  // a cut frame is not taken for the next one's first bytes.
  Micros startOver{50'000};
  EchoHabit echo;
  Micros answerDelay{1000};  // from the read frame's last byte to its first answer byte, on the wire
  std::vector<AnswerFault> answerFaults;
  std::vector<StrayByte> strays;
  std::vector<uint8_t> waitingAtOpen;  // left on the line by someone before
  int heldFromByte = 0;  // from this byte written on (counted from 1), nothing leaves
  int lostAtByte = 0;    // writing this byte finds the line gone
};

// Why the far end sent a byte.
enum class Origin { kEcho, kAnswer, kStray };

struct SentByte {
  VirtualTime at;        // when it arrives at the link's end
  uint8_t value = 0;
  Origin origin = Origin::kStray;
  int frame = -1;        // the frame it echoes or answers (index into Frames())
  int channel = 0;       // an answer's byte 1..4
  bool intact = false;   // an answer byte as its unit holds it, or an echo as sent
  bool flipped = false;  // an answer byte with a bit flipped on the way: no reader can tell
};

// A frame as the units heard it: whole, or cut short where the line went.
struct HeardFrame {
  std::vector<uint8_t> bytes;
  std::vector<VirtualTime> at;
  bool whole = false;
  bool read = false;  // a read-row frame, whole or not
};

// The far end. The test owns it; the link gets a transport onto it each time
// it opens the line (Opener()), so the record outlives the link's closes.
class ScriptedLine {
 public:
  ScriptedLine(VirtualClock& clock, LineScript script);

  // For CSerialLink::SetLineOpener: every name opens this line, on `clock`.
  CSerialLink::LineOpener Opener();

  // The transport's calls, as the link makes them.
  LineResult<> WriteByte(uint8_t byte, LineClock::time_point deadline);
  LineResult<int32_t> ReadWaiting(uint8_t* buffer, int32_t maxCount);
  bool WaitReadable(LineClock::time_point deadline);
  LineResult<> DiscardWaiting();

  // The far end's own record.
  const std::vector<HeardFrame>& Frames() const { return m_frames; }
  const std::vector<SentByte>& Sent() const { return m_sent; }
  // The units as the line left them (rows written, addresses changed).
  const std::vector<FarUnit>& Units() const { return m_units; }
  // Every byte that left the link's end, each with when it had left.
  const std::vector<std::pair<VirtualTime, uint8_t>>& Received() const { return m_received; }
  // The bytes the link took off the line, each with when.
  const std::vector<std::pair<VirtualTime, uint8_t>>& Taken() const { return m_taken; }
  VirtualTime OpenedAt() const { return m_openedAt; }

 private:
  // The units hear a byte; the frame it joined (index into m_frames), or -1.
  int Hear(uint8_t byte, VirtualTime at);
  void FrameEnded(VirtualTime at);
  void Answer(const HeardFrame& frame, int index, VirtualTime at);
  void Send(SentByte byte);
  void Open();
  // How much later than on the wire a byte reaches the link.
  Micros ReceiveDelay() const { return m_script.echo.echoes ? m_script.echo.delay : Micros{0}; }
  // Throws when the link calls again and again without time passing: a loop
  // that would spin for ever on a real line too.
  void Spin();

  VirtualClock& m_clock;
  LineScript m_script;
  std::vector<FarUnit> m_units;
  VirtualTime m_openedAt;
  std::vector<HeardFrame> m_frames;
  std::vector<SentByte> m_sent;           // in order of arrival
  size_t m_next = 0;                      // the first of m_sent not yet taken
  std::vector<std::pair<VirtualTime, uint8_t>> m_taken;
  std::vector<std::pair<VirtualTime, uint8_t>> m_received;
  std::optional<HeardFrame> m_open;       // a frame being heard
  int m_written = 0;
  int m_reads = 0;
  bool m_opened = false;
  bool m_gone = false;
  VirtualTime m_idleSince;
  long m_idleCalls = 0;                   // calls in a row that let no time pass
};

}  // namespace testsupport
