// The Telnet side of a serial device server that speaks COM-port control
// (RFC 2217): framing and option negotiation only, as data in and data out.
// No socket here: the network transport feeds what arrives and sends what
// this hands back.
//
// On the wire, in both directions, a data byte 0xFF is doubled (IAC IAC);
// everything else that starts with IAC is a command:
//
//   IAC WILL|WONT|DO|DONT <option>                 option negotiation
//   IAC SB <option> <payload, IAC doubled> IAC SE  subnegotiation
//   IAC <other command>                            ignored (NOP, GA, DM, ...)
//
// A COM-port setting is a subnegotiation of option 44; the server answers each
// with the command number plus 100 and the value it actually set:
//
//   IAC SB 44 1 <baud, 4 bytes big-endian> IAC SE   -> IAC SB 44 101 <baud> IAC SE
//   IAC SB 44 2 <data bits>  IAC SE                 -> 102
//   IAC SB 44 3 <parity: 1 none> IAC SE             -> 103
//   IAC SB 44 4 <stop bits: 1 one> IAC SE           -> 104
//   IAC SB 44 5 <control: 1 no flow control> IAC SE -> 105
//
// Until both sides agree on BINARY, a CR is followed by NUL on the wire.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace telnet {

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;
inline constexpr uint8_t kCr = 13;
inline constexpr uint8_t kNul = 0;

inline constexpr uint8_t kOptionBinary = 0;
inline constexpr uint8_t kOptionSuppressGoAhead = 3;
inline constexpr uint8_t kOptionComPort = 44;

// The COM-port settings a client sends; the server's answer is each plus 100.
enum ComPortSetting : uint8_t {
  kSetBaudRate = 1,
  kSetDataSize = 2,
  kSetParity = 3,
  kSetStopSize = 4,
  kSetControl = 5,
};
inline constexpr uint8_t kServerAnswerOffset = 100;
inline constexpr uint8_t kParityNone = 1;
inline constexpr uint8_t kStopBitsOne = 1;
inline constexpr uint8_t kControlNoFlow = 1;

// Whether the server took on COM-port control.
enum class ComPortState { kAsked, kAccepted, kRefused };

// One connection's Telnet state: which options are on, the COM-port answers
// so far, and a partly received command carried over between reads.
class Session {
 public:
  // What the client says first: BINARY and SUPPRESS-GO-AHEAD both ways, and
  // that it will use COM-port control.
  std::vector<uint8_t> Opening();

  // The five COM-port settings for `baud` 8N1 without flow control. Sent once
  // the server accepted the option.
  std::vector<uint8_t> Settings(uint32_t baud) const;

  // Appends the wire form of the data byte `byte` to *out.
  void Encode(uint8_t byte, std::vector<uint8_t>* out) const;

  // Takes `count` received bytes: data bytes go to *data in order; answers
  // the negotiation needs go to *reply, to be sent. A command split across
  // calls is finished by the next one.
  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>* data, std::vector<uint8_t>* reply);

  ComPortState ComPort() const;
  // The value the server reported for `setting`; nothing until it answered.
  std::optional<uint32_t> Answered(ComPortSetting setting) const { return m_answers[setting]; }

 private:
  enum class Side : uint8_t { kNo, kYes, kWantYes };
  enum class Scan : uint8_t { kData, kIac, kOption, kSub, kSubIac };

  void Negotiate(uint8_t verb, uint8_t option, std::vector<uint8_t>* reply);
  void Subnegotiation();

  std::array<Side, 256> m_ours{};    // options this end performs (WILL)
  std::array<Side, 256> m_theirs{};  // options the server performs (DO)
  std::array<std::optional<uint32_t>, 6> m_answers{};
  Scan m_scan = Scan::kData;
  uint8_t m_verb = 0;
  bool m_afterCr = false;
  std::vector<uint8_t> m_sub;
};

}  // namespace telnet
