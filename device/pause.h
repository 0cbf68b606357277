// A pause of the calling thread for the unit commands: never shorter than
// asked, and only as much longer as the scheduler makes it.
#pragma once

// Sleeps at least `milliseconds` on the monotonic clock; a signal that
// interrupts the sleep does not shorten it. Zero or less returns at once.
// Narrows the calling thread's timer slack so that the pause is not
// lengthened for the sake of batching wake-ups.
void PauseMs(int milliseconds);
