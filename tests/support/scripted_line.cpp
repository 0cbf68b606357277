// The units' rules of speech, as this far end hears them: a frame starts with
// an address byte 0xA0..0xA7; then 'W' (0x57) changes something and 'R'
// (0x52) asks for a row. After 'W' comes a row 0..7 and four channel values,
// or 'S' (store), 'R' (run), 'T' (stop), or 'J' (new address) or 'Q' (highest
// sequence) with one value. After 'R' comes the row; the unit answers with
// its four channel values, one byte after another. Anything else is noise a
// unit skips until the next address byte.
#include "scripted_line.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace testsupport {
namespace {

constexpr uint8_t kAddressFirst = 0xA0;
constexpr uint8_t kAddressLast = 0xA7;
constexpr uint8_t kChange = 'W';
constexpr uint8_t kAsk = 'R';

bool IsAddress(uint8_t byte) { return byte >= kAddressFirst && byte <= kAddressLast; }

// How long a frame is, once its first bytes are known; 0 while it cannot be
// told yet, -1 for bytes no unit takes.
int FrameLength(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 2) return 0;
  if (bytes[1] == kAsk) return 3;
  if (bytes[1] != kChange) return -1;
  if (bytes.size() < 3) return 0;
  const uint8_t what = bytes[2];
  if (what <= 7) return 7;
  if (what == 'S' || what == 'R' || what == 'T') return 3;
  if (what == 'J' || what == 'Q') return 4;
  return -1;
}

constexpr long kMostIdleCalls = 100'000;

class ScriptedPort final : public LineTransport {
 public:
  explicit ScriptedPort(ScriptedLine& line) : m_line(line) {}
  LineResult<> WriteByte(uint8_t byte, LineClock::time_point deadline) override {
    return m_line.WriteByte(byte, deadline);
  }
  LineResult<int32_t> ReadWaiting(uint8_t* buffer, int32_t maxCount, LineClock::time_point) override {
    return m_line.ReadWaiting(buffer, maxCount);
  }
  bool WaitReadable(LineClock::time_point deadline) override { return m_line.WaitReadable(deadline); }
  LineResult<> DiscardWaiting() override { return m_line.DiscardWaiting(); }
  void Close() override {}

 private:
  ScriptedLine& m_line;
};

}  // namespace

ScriptedLine::ScriptedLine(VirtualClock& clock, LineScript script)
    : m_clock(clock), m_script(std::move(script)), m_units(m_script.units) {}

CSerialLink::LineOpener ScriptedLine::Opener() {
  return [this](const std::string&, int32_t, const LineOptions&) -> OpenedLine {
    if (m_gone) return Failed(CSerialLink::Fault::kNotFound, "open: the line is gone");
    Open();
    return std::unique_ptr<LineTransport>(std::make_unique<ScriptedPort>(*this));
  };
}

void ScriptedLine::Open() {
  if (m_opened) return;
  m_opened = true;
  m_openedAt = m_clock.Now();
  for (uint8_t value : m_script.waitingAtOpen) Send({m_openedAt, value, Origin::kStray, -1, 0, false});
  for (const StrayByte& stray : m_script.strays) {
    Send({m_openedAt + stray.at + ReceiveDelay(), stray.value, Origin::kStray, -1, 0, false});
  }
}

void ScriptedLine::Send(SentByte byte) {
  const auto place = std::upper_bound(m_sent.begin() + static_cast<long>(m_next), m_sent.end(), byte.at,
                                      [](VirtualTime at, const SentByte& b) { return at < b.at; });
  m_sent.insert(place, byte);
}

void ScriptedLine::Spin() {
  if (m_clock.Now() != m_idleSince) {
    m_idleSince = m_clock.Now();
    m_idleCalls = 0;
  } else if (++m_idleCalls > kMostIdleCalls) {
    throw std::runtime_error("the link calls the line again and again while no time passes");
  }
}

LineResult<> ScriptedLine::WriteByte(uint8_t byte, LineClock::time_point deadline) {
  Spin();
  if (m_gone) return Failed(CSerialLink::Fault::kLost, "write: the device hung up");
  ++m_written;
  if (m_script.lostAtByte != 0 && m_written >= m_script.lostAtByte) {
    m_gone = true;
    return Failed(CSerialLink::Fault::kLost, "write: the device hung up");
  }
  if (m_script.heldFromByte != 0 && m_written >= m_script.heldFromByte) {
    m_clock.AdvanceTo(deadline);
    return Held(CSerialLink::Fault::kOther, "write: not sent within 1000 ms, discarded");
  }
  m_clock.AdvanceTo(m_clock.Now() + kByteTime);
  const VirtualTime at = m_clock.Now();
  m_received.emplace_back(at, byte);
  const int frame = Hear(byte, at);
  if (m_script.echo.echoes && (m_script.echo.dropEvery == 0 || m_written % m_script.echo.dropEvery != 0)) {
    const bool garbled = m_written == m_script.echo.garbleByte;
    Send({at + m_script.echo.delay, static_cast<uint8_t>(garbled ? byte ^ 1 : byte), Origin::kEcho, frame, 0, !garbled});
  }
  return {};
}

LineResult<int32_t> ScriptedLine::ReadWaiting(uint8_t* buffer, int32_t maxCount) {
  Spin();
  if (m_gone) return Failed(CSerialLink::Fault::kLost, "read: the device hung up");
  int32_t count = 0;
  while (count < maxCount && m_next < m_sent.size() && m_sent[m_next].at <= m_clock.Now()) {
    buffer[count++] = m_sent[m_next].value;
    m_taken.emplace_back(m_clock.Now(), m_sent[m_next].value);
    ++m_next;
  }
  return count;
}

bool ScriptedLine::WaitReadable(LineClock::time_point deadline) {
  Spin();
  if (m_gone) return true;
  if (m_next < m_sent.size() && m_sent[m_next].at <= deadline) {
    m_clock.AdvanceTo(m_sent[m_next].at);
    return true;
  }
  m_clock.AdvanceTo(deadline);
  return false;
}

LineResult<> ScriptedLine::DiscardWaiting() {
  Spin();
  if (m_gone) return Failed(CSerialLink::Fault::kLost, "discard: the device hung up");
  while (m_next < m_sent.size() && m_sent[m_next].at <= m_clock.Now()) ++m_next;
  return {};
}

int ScriptedLine::Hear(uint8_t byte, VirtualTime at) {
  if (m_open && at - m_open->at.back() > m_script.startOver) {
    m_frames.push_back(std::move(*m_open));  // cut short: heard, never whole
    m_open.reset();
  }
  if (!m_open) {
    if (!IsAddress(byte)) return -1;  // noise to the units
    m_open = HeardFrame{};
  }
  m_open->bytes.push_back(byte);
  m_open->at.push_back(at);
  m_open->read = m_open->bytes.size() >= 2 && m_open->bytes[1] == kAsk;
  const int index = static_cast<int>(m_frames.size());
  const int length = FrameLength(m_open->bytes);
  if (length < 0) {
    // Not a frame after all; its last byte may begin the next one.
    m_open->bytes.pop_back();
    m_open->at.pop_back();
    m_frames.push_back(std::move(*m_open));
    m_open.reset();
    return Hear(byte, at);
  }
  if (length > 0 && static_cast<int>(m_open->bytes.size()) == length) FrameEnded(at);
  return index;
}

void ScriptedLine::FrameEnded(VirtualTime at) {
  HeardFrame frame = std::move(*m_open);
  m_open.reset();
  frame.whole = true;
  const int index = static_cast<int>(m_frames.size());
  const int address = frame.bytes[0] - kAddressFirst;
  for (FarUnit& unit : m_units) {
    if (unit.address != address || frame.read) continue;
    const uint8_t what = frame.bytes[2];
    if (what <= 7) {
      std::copy(frame.bytes.begin() + 3, frame.bytes.end(), unit.rows[what].begin());
    } else if (what == 'J' && frame.bytes[3] <= 7) {
      unit.address = frame.bytes[3];
    }
  }
  m_frames.push_back(frame);
  if (frame.read) Answer(m_frames.back(), index, at);
}

void ScriptedLine::Answer(const HeardFrame& frame, int index, VirtualTime at) {
  ++m_reads;
  const int address = frame.bytes[0] - kAddressFirst;
  const uint8_t row = frame.bytes[2];
  std::vector<SentByte> bytes;
  for (const FarUnit& unit : m_units) {
    if (unit.address != address || row > 7) continue;
    Micros late{0};
    for (int k = 0; k < 4; ++k) {
      const Micros drift = (m_reads % 3) * unit.drift;
      SentByte b{at + m_script.answerDelay + unit.offset + drift + k * kByteTime + late + ReceiveDelay(),
                 unit.rows[row][k], Origin::kAnswer, index, k + 1, true};
      bool dropped = false;
      for (const AnswerFault& fault : m_script.answerFaults) {
        if (fault.read != m_reads) continue;
        if (fault.kind == AnswerFault::Kind::kSilent) dropped = true;
        if (fault.channel != k + 1) continue;
        if (fault.kind == AnswerFault::Kind::kDrop) dropped = true;
        if (fault.kind == AnswerFault::Kind::kGarble) {
          b.value ^= 0x01;
          b.intact = false;
          b.flipped = true;
        }
        if (fault.kind == AnswerFault::Kind::kLate) {
          late += fault.late;
          b.at += fault.late;
        }
        if (fault.kind == AnswerFault::Kind::kExtra) {
          // A byte no unit sent, in the answer's stream: the rest comes after it.
          bytes.push_back({b.at + kByteTime, 0x55, Origin::kStray, index, 0, false});
          late += kByteTime;
        }
      }
      if (!dropped) bytes.push_back(b);
    }
  }
  // Two units answering at once garble each other's bytes where they overlap.
  std::stable_sort(bytes.begin(), bytes.end(), [](const SentByte& a, const SentByte& b) { return a.at < b.at; });
  std::vector<SentByte> heard;
  for (const SentByte& b : bytes) {
    if (!heard.empty() && b.at - heard.back().at < kByteTime) {
      // Two bytes on the wire at once read as one garbled byte in the place
      // of an answer byte: no single read can tell it from the unit's own.
      SentByte& clash = heard.back();
      clash.intact = clash.intact && b.intact && b.at == clash.at && b.value == clash.value;
      clash.flipped = true;
      if (clash.origin != Origin::kAnswer && b.origin == Origin::kAnswer) {
        clash.origin = Origin::kAnswer;
        clash.channel = b.channel;
      }
      clash.value &= b.value;
      clash.at = b.at;
      continue;
    }
    heard.push_back(b);
  }
  for (const SentByte& b : heard) Send(b);
}

}  // namespace testsupport
