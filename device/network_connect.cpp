// Connecting to a serial device server within a deadline: the address
// parsed, the name looked up off the caller's thread, the socket set up.
#include "device/network_connect.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "device/deadline_wait.h"
#include "device/network_address.h"
#include "socket_system.h"  // this system's: device/posix or device/windows

using socket_system::ErrorText;
using socket_system::LastError;

namespace network_connect {

namespace {

constexpr char kRawScheme[] = "tcp://";
constexpr char kTelnetScheme[] = "rfc2217://";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// getaddrinfo has no time-out; a lookup that outlasts the deadline finishes
// in its thread, which then frees what it found.
struct Lookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool abandoned = false;
  int result = 0;
  addrinfo* found = nullptr;
};

}  // namespace

std::string ParseAddress(const std::string& text, NetworkAddress* address) {
  address->telnet = StartsWith(text, kTelnetScheme);
  const std::string rest = text.substr(address->telnet ? sizeof kTelnetScheme - 1 : sizeof kRawScheme - 1);
  const std::string form = std::string(address->telnet ? kTelnetScheme : kRawScheme) + "HOST:PORT";
  size_t colon = std::string::npos;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) return text + ": no closing ] after the IPv6 address";
    address->host = rest.substr(1, close - 1);
    if (close + 1 < rest.size() && rest[close + 1] == ':') {
      colon = close + 1;
    } else if (close + 1 != rest.size()) {
      return text + ": write " + form;
    }
  } else {
    colon = rest.rfind(':');
    address->host = rest.substr(0, colon);
    if (address->host.find(':') != std::string::npos) return text + ": an IPv6 address goes in [ ]";
  }
  if (address->host.empty()) return text + ": no host; write " + form;
  if (colon == std::string::npos) return text + ": no port; write " + form;
  address->port = rest.substr(colon + 1);
  const bool digits = !address->port.empty() && address->port.size() <= 5 &&
                      std::all_of(address->port.begin(), address->port.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits || std::stoi(address->port) < 1 || std::stoi(address->port) > 65535) {
    return text + ": the port must be a number from 1 to 65535";
  }
  return {};
}

AddressList Resolve(const NetworkAddress& address, LineClock::time_point deadline, std::string* error) {
  socket_system::StartSockets();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found) == 0) {
    return AddressList(found, freeaddrinfo);
  }
  hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, hints, host = address.host, port = address.port] {
      addrinfo* list = nullptr;
      const int result = getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
      std::lock_guard<std::mutex> lock(lookup->mutex);
      if (lookup->abandoned) {
        if (result == 0) freeaddrinfo(list);
        return;
      }
      lookup->result = result;
      lookup->found = result == 0 ? list : nullptr;
      lookup->finished = true;
      lookup->done.notify_all();
    }).detach();
  } catch (const std::system_error& e) {
    *error = "look up " + address.host + ": " + e.what();
    return AddressList(nullptr, freeaddrinfo);
  }

  std::unique_lock<std::mutex> lock(lookup->mutex);
  if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
    lookup->abandoned = true;
    *error = "look up " + address.host + ": no answer within " + std::to_string(kOpenBound.count()) + " ms";
    return AddressList(nullptr, freeaddrinfo);
  }
  if (lookup->result != 0) {
    *error = "look up " + address.host + ": " +
             (lookup->result == EAI_NONAME ? std::string("no such host")
                                           : socket_system::LookupErrorText(lookup->result));
  }
  return AddressList(lookup->found, freeaddrinfo);
}

std::string Numeric(const addrinfo& entry) {
  char host[NI_MAXHOST] = {};
  char port[NI_MAXSERV] = {};
  getnameinfo(entry.ai_addr, entry.ai_addrlen, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
  return entry.ai_family == AF_INET6 ? "[" + std::string(host) + "]:" + port : std::string(host) + ":" + port;
}

int Connect(const addrinfo& entry, LineClock::time_point deadline, std::string* error) {
  const std::string where = "connect to " + Numeric(entry);
  const int fd = socket_system::OpenSocket(entry.ai_family, entry.ai_socktype, entry.ai_protocol);
  if (fd < 0) {
    *error = where + ": " + ErrorText(LastError());
    return -1;
  }
  if (!socket_system::SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1)) {
    // Without it, bytes written within one round trip would go out together.
    *error = "turn off coalescing on " + Numeric(entry) + ": " + ErrorText(LastError());
    socket_system::CloseSocket(fd);
    return -1;
  }
  socket_system::NoticeSilentLoss(fd);
  int err = 0;
  if (connect(fd, entry.ai_addr, static_cast<socklen_t>(entry.ai_addrlen)) != 0) {
    err = LastError();
    if (socket_system::ConnectPending(err)) {
      const int ready = WaitFor(fd, POLLOUT, deadline);
      if (ready == 0) {
        *error = where + ": no answer within " + std::to_string(kOpenBound.count()) + " ms";
        socket_system::CloseSocket(fd);
        return -1;
      }
      err = ready < 0 ? errno : socket_system::PendingError(fd);
    }
  }
  if (err != 0) {
    *error = where + ": " + ErrorText(err);
    socket_system::CloseSocket(fd);
    return -1;
  }
  return fd;
}

double SmoothedRoundTripMs(int fd) { return socket_system::SmoothedRoundTripMs(fd); }

}  // namespace network_connect

bool IsNetworkAddress(const std::string& address) {
  return address.starts_with(network_connect::kRawScheme) || address.starts_with(network_connect::kTelnetScheme);
}
