// A pause of the calling thread for the unit commands: never shorter than
// asked, and only as much longer as the scheduler makes it. pause.cpp is
// Linux's (clock_nanosleep), pause_windows.cpp Windows' (a high-resolution
// waitable timer).
#pragma once

#include <cstdint>

// Sleeps at least `milliseconds` on the monotonic clock; a signal that
// interrupts the sleep does not shorten it. Zero or less returns at once.
// Narrows the calling thread's timer slack so that the pause is not
// lengthened for the sake of batching wake-ups.
void PauseMs(int milliseconds);

// How many times, in this process, a pause has waited on the system's precise
// timer (Linux: an absolute clock_nanosleep; Windows: the waitable timer,
// never Sleep with its 15.6 ms tick). At least once per pause.
uint64_t PauseTimerWaits();
