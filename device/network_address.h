// Whether a Com entry's device names a line behind a serial device server
// rather than a tty on this machine; for the callers that treat the two
// differently (following a lost line, listing entries, the words for them).
#pragma once

#include <string>

// True for "tcp://HOST:PORT" and "rfc2217://HOST:PORT": a line behind a
// serial device server, reached over the network.
bool IsNetworkAddress(const std::string& address);
