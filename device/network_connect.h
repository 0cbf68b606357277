// Reaching a serial device server: its address taken apart, its name looked
// up and a TCP connection made, each within the caller's deadline. The
// network transport builds the line on what this hands back.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "device/line_transport.h"
#include "socket_system.h"

namespace network_connect {

// Opening a network line never keeps the window longer than a local open
// may: a written byte's bound.
inline constexpr std::chrono::milliseconds kOpenBound{1000};

struct NetworkAddress {
  bool telnet = false;  // rfc2217:// rather than tcp://
  std::string host;     // a name, or an IPv4 or IPv6 address without brackets
  std::string port;     // digits, 1..65535
};

// A host name has at most 253 characters (RFC 1035); a longer one cannot be
// looked up, and would only fill messages.
inline constexpr size_t kLongestHostName = 253;

// Takes "tcp://HOST:PORT" or "rfc2217://HOST:PORT" (an IPv6 host in
// brackets) apart; when it cannot, the failure says what is wrong with it in
// words that follow the address ("the port must be a number from 1 to 65535").
LineResult<NetworkAddress> ParseAddress(const std::string& text);

// One address a connection can be tried to.
struct Endpoint {
  sockaddr_storage address{};
  socklen_t size = 0;
};
using AddressList = std::vector<Endpoint>;

// The addresses of `address`, in the resolver's order (never none); fails
// (kNotFound) when there are none by `deadline`. A numeric host is never looked up;
// "localhost" (and a name ending in ".localhost") is both loopback addresses,
// ::1 and 127.0.0.1, whatever /etc/hosts says (RFC 6761), so that a server
// listening on either is reached.
LineResult<AddressList> Resolve(const NetworkAddress& address, LineClock::time_point deadline);

// "127.0.0.1:3001", "[::1]:3001".
std::string Numeric(const Endpoint& entry);

// A connected, non-blocking TCP socket to `entry` that sends each byte at
// once and notices a silent loss; fails (kNotFound) when none can be had.
LineResult<int> Connect(const Endpoint& entry, LineClock::time_point deadline);

// The kernel's smoothed round trip of the connection on `fd`, in ms; -1
// when it cannot tell.
double SmoothedRoundTripMs(int fd);

}  // namespace network_connect
