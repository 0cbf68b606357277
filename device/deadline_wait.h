// Waiting on one descriptor until a deadline on the monotonic clock, for the
// transports under the link.
#pragma once

#include <chrono>

// Waits for `events` on `fd` (hang-up and errors are always reported) until
// `deadline`, resumed with the time left after a signal. Returns the poll
// result bits, 0 when the deadline passed, -1 with errno set when poll itself
// failed.
int WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline);
