// The simulator's frame reader: a resynchronising scanner over the bytes a
// unit line receives. It skips noise, knows each frame's length from its
// first bytes, waits until a frame is whole, and starts over when a byte
// cannot continue the frame or when the line pauses too long inside one.
//
// Frame layout (A = 0xA0 | unit address 0..7):
//   write-row             A 'W' row ch1 ch2 ch3 ch4   row 0..7, values any byte
//   store                 A 'W' 'S'
//   run                   A 'W' 'R'
//   stop                  A 'W' 'T'
//   change address        A 'W' 'J' new-id            new id is the raw byte
//   set highest sequence  A 'W' 'Q' value
//   read-row              A 'R' row                   row 0..7; answered by
//                                                     ch1 ch2 ch3 ch4
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sim_line.h"

namespace sim::frame {

inline constexpr uint8_t kAddressMark = 0xA0;
inline constexpr uint8_t kAddressMask = 0x07;
inline constexpr uint8_t kWrite = 0x57;        // 'W'
inline constexpr uint8_t kRead = 0x52;         // 'R' as second byte
inline constexpr uint8_t kStore = 0x53;        // 'S'
inline constexpr uint8_t kRun = 0x52;          // 'R' after 'W'
inline constexpr uint8_t kStop = 0x54;         // 'T'
inline constexpr uint8_t kNewAddress = 0x4A;   // 'J'
inline constexpr uint8_t kHighestSeq = 0x51;   // 'Q'
inline constexpr uint8_t kRowCount = kRows;
inline constexpr uint8_t kChannelCount = kChannels;

inline constexpr size_t kWriteRowLength = 7;
inline constexpr size_t kCommandLength = 3;     // store, run, stop
inline constexpr size_t kCommandArgLength = 4;  // change address, highest seq
inline constexpr size_t kReadRowLength = 3;

// Longest pause allowed between two bytes of one frame; a longer one starts over.
inline constexpr std::chrono::milliseconds kMaxGap{50};

inline bool IsAddressByte(uint8_t b) { return (b & ~kAddressMask) == kAddressMark; }
inline int AddressOf(uint8_t b) { return b & kAddressMask; }

}  // namespace sim::frame

namespace sim {

using SteadyTime = std::chrono::steady_clock::time_point;

// What the scanner found: a whole frame, or a run of bytes it skipped.
struct ScanEvent {
  enum class Kind { Frame, Skipped };
  Kind kind = Kind::Frame;
  // The frame; for skipped bytes only the first kKeptNoise of them, so that a
  // line full of noise costs no more than a line of frames.
  std::vector<uint8_t> bytes;
  SteadyTime at;  // arrival of the frame's last byte / the last skipped byte
  size_t count = 0;  // bytes in the frame, or skipped in all
  static constexpr size_t kKeptNoise = 32;
};

class FrameScanner {
 public:
  // Takes one byte that arrived at `at` (times must not go backwards) and
  // appends to *events whatever it completes: skipped bytes first, then a frame.
  void Feed(uint8_t byte, SteadyTime at, std::vector<ScanEvent>* events);

  // Reports what has gone stale by `now`: a partial frame whose last byte is
  // more than kMaxGap old is skipped; skipped bytes are reported once the line
  // has been quiet that long. Call it when the line is quiet.
  void Idle(SteadyTime now, std::vector<ScanEvent>* events);

  // When Idle() next has something to report, if ever.
  std::optional<SteadyTime> NextDeadline() const;

  // Reports everything pending as skipped and starts afresh.
  void Finish(std::vector<ScanEvent>* events);

  // Forgets everything pending without reporting it.
  void Reset();

 private:
  // Length of the frame that begins with m_partial, 0 if the bytes so far can
  // start no frame.
  size_t ExpectedLength() const;
  void Skip(const std::vector<uint8_t>& bytes, SteadyTime lastArrival);
  void FlushSkipped(std::vector<ScanEvent>* events);

  std::vector<uint8_t> m_partial;
  std::vector<uint8_t> m_candidate;  // kept so that a byte of noise allocates nothing
  std::vector<uint8_t> m_skipped;    // the first ScanEvent::kKeptNoise skipped bytes
  size_t m_skippedCount = 0;
  SteadyTime m_skippedAt{};  // arrival of the last skipped byte
  SteadyTime m_lastAt{};
  bool m_seenAny = false;
};

// -1 when `bytes` can begin no frame, 0 when they can but the frame's length
// is not known yet, otherwise the length of the frame they begin.
int FrameLength(const std::vector<uint8_t>& bytes);

// The whole scan of a recorded byte stream, ending with Finish().
std::vector<ScanEvent> ScanBytes(const std::vector<ByteRecord>& bytes);

}  // namespace sim
