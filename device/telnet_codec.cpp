// Telnet framing and option negotiation for COM-port control.
#include "device/telnet_codec.h"

namespace telnet {

namespace {

// A subnegotiation longer than any COM-port answer is noise; only its end is
// waited for, so that a server cannot make this end hold unbounded data.
constexpr size_t kLongestSub = 64;

bool OursSupported(uint8_t option) {
  return option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
}
bool TheirsSupported(uint8_t option) { return option == kOptionBinary || option == kOptionSuppressGoAhead; }

void Put(std::vector<uint8_t>* out, uint8_t verb, uint8_t option) { out->insert(out->end(), {kIac, verb, option}); }

}  // namespace

std::vector<uint8_t> Session::Opening() {
  std::vector<uint8_t> out;
  for (uint8_t option : {kOptionBinary, kOptionSuppressGoAhead, kOptionComPort}) {
    m_ours[option] = Side::kWantYes;
    Put(&out, kWill, option);
  }
  for (uint8_t option : {kOptionBinary, kOptionSuppressGoAhead}) {
    m_theirs[option] = Side::kWantYes;
    Put(&out, kDo, option);
  }
  return out;
}

std::vector<uint8_t> Session::Settings(uint32_t baud) const {
  std::vector<uint8_t> out;
  auto setting = [&](ComPortSetting command, std::initializer_list<uint8_t> value) {
    out.insert(out.end(), {kIac, kSb, kOptionComPort, command});
    for (uint8_t byte : value) {
      out.push_back(byte);
      if (byte == kIac) out.push_back(kIac);
    }
    out.insert(out.end(), {kIac, kSe});
  };
  setting(kSetBaudRate, {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                         static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)});
  setting(kSetDataSize, {8});
  setting(kSetParity, {kParityNone});
  setting(kSetStopSize, {kStopBitsOne});
  setting(kSetControl, {kControlNoFlow});
  return out;
}

void Session::Encode(uint8_t byte, std::vector<uint8_t>* out) const {
  out->push_back(byte);
  if (byte == kIac) out->push_back(kIac);
  // Without BINARY towards the server, a bare CR would swallow the next byte.
  if (byte == kCr && m_ours[kOptionBinary] != Side::kYes) out->push_back(kNul);
}

ComPortState Session::ComPort() const {
  switch (m_ours[kOptionComPort]) {
    case Side::kYes:
      return ComPortState::kAccepted;
    case Side::kNo:
      return ComPortState::kRefused;
    case Side::kWantYes:
      break;
  }
  return ComPortState::kAsked;
}

void Session::Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>* data, std::vector<uint8_t>* reply) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = bytes[i];
    switch (m_scan) {
      case Scan::kData:
        if (byte == kIac) {
          m_scan = Scan::kIac;
          break;
        }
        // A server without BINARY towards us sends CR as CR NUL.
        if (!(byte == kNul && m_afterCr && m_theirs[kOptionBinary] != Side::kYes)) data->push_back(byte);
        m_afterCr = byte == kCr;
        break;
      case Scan::kIac:
        if (byte == kIac) {
          data->push_back(kIac);
          m_afterCr = false;
          m_scan = Scan::kData;
        } else if (byte >= kWill && byte <= kDont) {
          m_verb = byte;
          m_scan = Scan::kOption;
        } else if (byte == kSb) {
          m_sub.clear();
          m_scan = Scan::kSub;
        } else {
          m_scan = Scan::kData;  // NOP, GA, DM, a stray SE: nothing to do
        }
        break;
      case Scan::kOption:
        Negotiate(m_verb, byte, reply);
        m_scan = Scan::kData;
        break;
      case Scan::kSub:
        if (byte == kIac) {
          m_scan = Scan::kSubIac;
        } else if (m_sub.size() < kLongestSub) {
          m_sub.push_back(byte);
        }
        break;
      case Scan::kSubIac:
        if (byte == kSe) {
          Subnegotiation();
          m_scan = Scan::kData;
        } else {
          // IAC IAC is a payload 0xFF; anything else is malformed and taken
          // as the payload byte it would be without the IAC.
          if (m_sub.size() < kLongestSub) m_sub.push_back(byte);
          m_scan = Scan::kSub;
        }
        break;
    }
  }
}

// Each side of an option is NO, YES, or asked for; a reply goes out only when
// the state changes, so two ends can never bounce requests forever.
void Session::Negotiate(uint8_t verb, uint8_t option, std::vector<uint8_t>* reply) {
  const bool aboutOurs = verb == kDo || verb == kDont;
  Side& side = aboutOurs ? m_ours[option] : m_theirs[option];
  const bool supported = aboutOurs ? OursSupported(option) : TheirsSupported(option);
  const bool enable = verb == kDo || verb == kWill;
  const uint8_t yes = aboutOurs ? kWill : kDo;
  const uint8_t no = aboutOurs ? kWont : kDont;

  if (enable) {
    if (!supported) {
      Put(reply, no, option);
    } else if (side == Side::kNo) {
      side = Side::kYes;
      Put(reply, yes, option);
    } else {
      side = Side::kYes;  // the answer to our request, or a repeat
    }
    return;
  }
  if (side == Side::kYes) Put(reply, no, option);
  side = Side::kNo;  // a refusal of our request needs no answer
}

void Session::Subnegotiation() {
  if (m_sub.size() < 2 || m_sub[0] != kOptionComPort) return;
  const uint8_t command = m_sub[1];
  if (command <= kServerAnswerOffset || command > kServerAnswerOffset + kSetControl) return;
  // Line state and modem state notices, flow control requests: nothing here
  // depends on them.
  const size_t valueSize = command == kServerAnswerOffset + kSetBaudRate ? 4 : 1;
  if (m_sub.size() != 2 + valueSize) return;
  uint32_t value = 0;
  for (size_t i = 0; i < valueSize; ++i) value = value << 8 | m_sub[2 + i];
  m_answers[command - kServerAnswerOffset] = value;
}

}  // namespace telnet
