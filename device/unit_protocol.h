// The frames spoken to the LED controller units: layout, letters and pauses,
// written down once. Only unit_commands.cpp builds frames from these.
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

#include <cstdint>

namespace unit_protocol {

inline constexpr uint8_t kAddressBase = 0xA0;
inline constexpr uint8_t kWriteLetter = 0x57;      // 'W': the unit is changed
inline constexpr uint8_t kReadLetter = 0x52;       // 'R' as second byte: read row
inline constexpr uint8_t kStoreLetter = 0x53;      // 'S'
inline constexpr uint8_t kRunLetter = 0x52;        // 'R' after 'W': run
inline constexpr uint8_t kStopLetter = 0x54;       // 'T'
inline constexpr uint8_t kNewAddressLetter = 0x4A; // 'J'
inline constexpr uint8_t kHighestLetter = 0x51;    // 'Q'

inline constexpr int kWritePauseMs = 3;
inline constexpr int kReadPauseMs = 5;
inline constexpr int kAnswerBytes = 4;
inline constexpr uint8_t kHighestSequenceLimit = 8;

// The low 8 bits of a caller's value; negatives as their two's complement.
constexpr uint8_t LowByte(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }

constexpr uint8_t UnitAddressByte(int32_t unit) {
  return static_cast<uint8_t>(kAddressBase | LowByte(unit));
}

}  // namespace unit_protocol
