// The unit commands' pauses wait on the system's precise timer. On Windows a
// Sleep would round each 3 ms gap up to the 15.6 ms tick: wine's Sleep is
// precise, so only counting the timer's waits shows that the pauses use it.
#include <gtest/gtest.h>

#include "device/pause.h"
#include "device/serial_link.h"

namespace {

TEST(PauseTimer, EveryPauseOfAFrameWaitsOnThePreciseTimer) {
  CSerialLink link;  // never opened: a command still takes its pauses
  const uint64_t before = PauseTimerWaits();
  link.WriteRow(0, 0, 1, 2, 3, 4);
  const uint64_t waits = PauseTimerWaits() - before;
  // One pause between each two of the frame's bytes.
  EXPECT_GE(waits, unit_protocol::WriteRowFrame(0, 0, 1, 2, 3, 4).size - 1);
  const uint64_t single = PauseTimerWaits();
  PauseMs(3);
  EXPECT_GE(PauseTimerWaits(), single + 1) << "a pause that did not wait on the timer";
}

}  // namespace
