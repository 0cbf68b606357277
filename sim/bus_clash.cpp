// The bus as a receiver hears two units answering together.
#include "sim/bus_clash.h"

#include <algorithm>

namespace sim {
namespace {

constexpr int kBitsPerByte = 10;  // start, eight data bits, stop
constexpr int kByteTicks = kBitsPerByte * kBitTicks;

// The level one transmitter drives at `tick` of its own bytes: 1 (idle)
// before and after them.
int LevelOf(const std::vector<uint8_t>& bytes, int tick) {
  if (tick < 0 || tick >= static_cast<int>(bytes.size()) * kByteTicks) return 1;
  const int bit = (tick / kBitTicks) % kBitsPerByte;
  if (bit == 0) return 0;
  if (bit == kBitsPerByte - 1) return 1;
  return (bytes[static_cast<size_t>(tick / kByteTicks)] >> (bit - 1)) & 1;
}

}  // namespace

std::vector<uint8_t> HeardTogether(const std::vector<uint8_t>& first, const std::vector<uint8_t>& second,
                                   int lateTicks) {
  const auto bus = [&](int tick) { return LevelOf(first, tick) & LevelOf(second, tick - lateTicks); };
  const int end = std::max(static_cast<int>(first.size()) * kByteTicks,
                           static_cast<int>(second.size()) * kByteTicks + lateTicks);
  std::vector<uint8_t> heard;
  int tick = 0;
  while (tick < end) {
    if (bus(tick) != 0) {
      ++tick;
      continue;
    }
    // A start bit is still low in its middle; a shorter dip is a glitch.
    const int middle = tick + kBitTicks / 2;
    if (bus(middle) != 0) {
      ++tick;
      continue;
    }
    uint8_t value = 0;
    for (int bit = 0; bit < 8; ++bit) value |= static_cast<uint8_t>(bus(middle + (bit + 1) * kBitTicks) << bit);
    heard.push_back(value);  // a raw line passes a byte with a framing error as it came
    // From the end of the stop bit the receiver looks for a start bit
    // again: a line still low (a framing error) starts the next byte at once.
    tick = middle + (kBitsPerByte - 1) * kBitTicks + kBitTicks / 2;
  }
  return heard;
}

int AnswerSkew::NextTicks() {
  // xorshift32: cheap, and the same steps in every run.
  m_state ^= m_state << 13;
  m_state ^= m_state >> 17;
  m_state ^= m_state << 5;
  return kBitTicks / 4 + static_cast<int>(m_state % static_cast<uint32_t>(3 * kBitTicks - kBitTicks / 4));
}

}  // namespace sim
