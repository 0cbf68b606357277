// Two units answering on one address: both drive the bus at once, a little
// apart, and the receiver makes what bytes it can of the sum. Modelled bit by
// bit, as a UART receives them: at 9600 baud a byte is ten bits (a start bit
// of 0, eight data bits with the lowest first, a stop bit of 1), a receiver
// samples each bit in its middle from the falling edge it took for a start
// bit, and where two transmitters differ the 0 wins (a driver pulling the
// line low is not overcome by one leaving it high).
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// A bit's time is cut into sixteenths, as a UART's receiver samples it.
inline constexpr int kBitTicks = 16;

// The bytes a receiver takes off the bus while `first` is sent and `second`
// starts `lateTicks` sixteenths of a bit after it (0 or more). Less than half
// a bit apart, equal bytes read as sent; further apart they garble, and the
// receiver may find a byte more or fewer.
std::vector<uint8_t> HeardTogether(const std::vector<uint8_t>& first, const std::vector<uint8_t>& second,
                                   int lateTicks);

// How far apart two units answer, read after read: between a quarter of a
// bit and three, a different amount each time, as two units' clocks and
// firmware never keep the same step. The same sequence in every run.
class AnswerSkew {
 public:
  int NextTicks();

 private:
  uint32_t m_state = 0x2545F491u;
};

}  // namespace sim
