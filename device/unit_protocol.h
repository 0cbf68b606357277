// The frames spoken to the LED controller units: layout, letters and pauses,
// written down once, and the pure functions that build each command's bytes.
//
// Every frame starts with the unit's address byte A = 0xA0 | unit id. Each byte
// is written on its own; the pause of the frame goes between two bytes, never
// before the first or after the last. Values go out as their low 8 bits.
//
//   write row         A  'W' row  ch1 ch2 ch3 ch4   3 ms between bytes
//   store             A  'W' 'S'                    3 ms between bytes
//   run / stop        A  'W' 'R' (run) | 'T' (stop) 3 ms between bytes
//   change address    A  'W' 'J' new id             3 ms between bytes
//   highest sequence  A  'W' 'Q' min(value, 8)      3 ms between bytes
//   read row          A  'R' row                    5 ms after every byte,
//                     <- ch1 ch2 ch3 ch4            then 5 ms before taking
//                                                   each answer byte
//
// Row indices (0..7) and the command letters after 'W' never overlap.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "settings/led_settings.h"
#include "settings/unit_list.h"

namespace unit_protocol {

inline constexpr uint8_t kAddressBase = 0xA0;
inline constexpr uint8_t kWriteLetter = 0x57;      // 'W': the unit is changed
inline constexpr uint8_t kReadLetter = 0x52;       // 'R' as second byte: read row
inline constexpr uint8_t kStoreLetter = 0x53;      // 'S'
inline constexpr uint8_t kRunLetter = 0x52;        // 'R' after 'W': run
inline constexpr uint8_t kStopLetter = 0x54;       // 'T'
inline constexpr uint8_t kNewAddressLetter = 0x4A; // 'J'
inline constexpr uint8_t kHighestLetter = 0x51;    // 'Q'

inline constexpr int kUnitAddresses = ::kUnitAddresses;  // units answer to 0..7
inline constexpr int kRowsPerUnit = kSequenceRows; // row indices 0..7
inline constexpr int kAnswerBytes = kChannels;     // CH1..CH4

inline constexpr int kWritePauseMs = 3;
inline constexpr int kReadPauseMs = 5;
// How long after the pause before it an answer byte must have arrived: the
// read-row's own pause. A line may be given a longer answer wait, never a
// shorter one.
inline constexpr int kAnswerWindowMs = kReadPauseMs;
inline constexpr uint8_t kHighestSequenceLimit = 8;

// One byte's time on the wire at the units' 9600 baud, 8N1 (ten bits), in µs.
inline constexpr int kByteMicros = 10 * 1'000'000 / 9600;

// The low 8 bits of a caller's value; negatives as their two's complement.
constexpr uint8_t LowByte(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }

constexpr uint8_t UnitAddressByte(int32_t unit) {
  return static_cast<uint8_t>(kAddressBase | LowByte(unit));
}

// One command's bytes and the pause between two of them.
struct Frame {
  static constexpr size_t kLongest = 7;  // write row
  std::array<uint8_t, kLongest> bytes{};
  size_t size = 0;
  int pauseMs = 0;

  std::span<const uint8_t> Bytes() const { return {bytes.data(), size}; }
  bool operator==(const Frame&) const = default;
};

constexpr Frame WriteRowFrame(int32_t unit, int32_t row, int32_t ch1, int32_t ch2, int32_t ch3, int32_t ch4) {
  return {{UnitAddressByte(unit), kWriteLetter, LowByte(row), LowByte(ch1), LowByte(ch2), LowByte(ch3), LowByte(ch4)},
          7,
          kWritePauseMs};
}

// The answer of four bytes follows after the frame's last pause.
constexpr Frame ReadRowFrame(int32_t unit, int32_t row) {
  return {{UnitAddressByte(unit), kReadLetter, LowByte(row)}, 3, kReadPauseMs};
}

constexpr Frame StoreFrame(int32_t unit) {
  return {{UnitAddressByte(unit), kWriteLetter, kStoreLetter}, 3, kWritePauseMs};
}

// Any non-zero `run` runs the unit; zero stops it.
constexpr Frame RunStateFrame(int32_t unit, int32_t run) {
  return {{UnitAddressByte(unit), kWriteLetter, run != 0 ? kRunLetter : kStopLetter}, 3, kWritePauseMs};
}

// The new id goes out bare, without the address marking.
constexpr Frame ChangeAddressFrame(int32_t unit, int32_t newId) {
  return {{UnitAddressByte(unit), kWriteLetter, kNewAddressLetter, LowByte(newId)}, 4, kWritePauseMs};
}

// A value above 8 goes out as 8; there is no lower limit.
constexpr Frame HighestSequenceFrame(int32_t unit, uint8_t value) {
  return {{UnitAddressByte(unit), kWriteLetter, kHighestLetter, value > kHighestSequenceLimit ? kHighestSequenceLimit : value},
          4,
          kWritePauseMs};
}

}  // namespace unit_protocol
