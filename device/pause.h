// A pause of the calling thread for the unit commands: never shorter than
// asked, and only as much longer as the scheduler makes it.
#pragma once

// Sleeps at least `milliseconds` on the monotonic clock; a signal that
// interrupts the sleep does not shorten it. Zero or less returns at once.
void PauseMs(int milliseconds);
