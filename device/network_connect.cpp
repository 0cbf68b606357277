// Connecting to a serial device server within a deadline: the address
// parsed, the name looked up off the caller's thread, the socket set up.
#include "device/network_connect.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>
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

// Neither a name nor a connection to be had: the line is away.
LineFailure NotFound(std::string reason) { return Failed(CSerialLink::Fault::kNotFound, std::move(reason)); }

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

// RFC 6761: "localhost" and the names under it are this host, always.
bool IsLocalhostName(std::string host) {
  if (!host.empty() && host.back() == '.') host.pop_back();
  std::transform(host.begin(), host.end(), host.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  constexpr std::string_view kName = "localhost";
  return host == kName || (host.size() > kName.size() + 1 && host.ends_with(kName) &&
                           host[host.size() - kName.size() - 1] == '.');
}

Endpoint Loopback6(uint16_t port) {
  Endpoint entry;
  auto* in6 = reinterpret_cast<sockaddr_in6*>(&entry.address);
  in6->sin6_family = AF_INET6;
  in6->sin6_addr = in6addr_loopback;
  in6->sin6_port = htons(port);
  entry.size = sizeof *in6;
  return entry;
}

Endpoint Loopback4(uint16_t port) {
  Endpoint entry;
  auto* in4 = reinterpret_cast<sockaddr_in*>(&entry.address);
  in4->sin_family = AF_INET;
  in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  in4->sin_port = htons(port);
  entry.size = sizeof *in4;
  return entry;
}

// The TCP addresses of a resolver's list, which is freed.
AddressList TakeList(addrinfo* found) {
  AddressList list;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_addrlen > sizeof(sockaddr_storage) ||
        (entry->ai_family != AF_INET && entry->ai_family != AF_INET6)) {
      continue;
    }
    Endpoint endpoint;
    std::memcpy(&endpoint.address, entry->ai_addr, entry->ai_addrlen);
    endpoint.size = entry->ai_addrlen;
    list.push_back(endpoint);
  }
  if (found) freeaddrinfo(found);
  return list;
}

}  // namespace

namespace {

// What is wrong with `text` as an address, empty when nothing is; *address
// holds its parts.
std::string AddressProblem(const std::string& text, NetworkAddress* address) {
  address->telnet = StartsWith(text, kTelnetScheme);
  const std::string rest = text.substr(address->telnet ? sizeof kTelnetScheme - 1 : sizeof kRawScheme - 1);
  const std::string form = std::string(address->telnet ? kTelnetScheme : kRawScheme) + "HOST:PORT";
  size_t colon = std::string::npos;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) return "no closing ] after the IPv6 address";
    address->host = rest.substr(1, close - 1);
    if (close + 1 < rest.size() && rest[close + 1] == ':') {
      colon = close + 1;
    } else if (close + 1 != rest.size()) {
      return "write " + form;
    }
  } else {
    colon = rest.rfind(':');
    address->host = rest.substr(0, colon);
    if (address->host.find(':') != std::string::npos) return "an IPv6 address goes in [ ]";
  }
  if (address->host.empty()) return "no host; write " + form;
  if (address->host.size() > kLongestHostName) {
    return "the host name is longer than " + std::to_string(kLongestHostName) + " characters";
  }
  // A NUL would end the name early: another host would be looked up.
  if (std::any_of(address->host.begin(), address->host.end(),
                  [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; })) {
    return "the host name holds a space or a control character";
  }
  if (colon == std::string::npos) return "no port; write " + form;
  address->port = rest.substr(colon + 1);
  const bool digits = !address->port.empty() && address->port.size() <= 5 &&
                      std::all_of(address->port.begin(), address->port.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits || std::stoi(address->port) < 1 || std::stoi(address->port) > 65535) {
    return "the port must be a number from 1 to 65535";
  }
  return {};
}

}  // namespace

LineResult<NetworkAddress> ParseAddress(const std::string& text) {
  NetworkAddress address;
  if (std::string problem = AddressProblem(text, &address); !problem.empty()) {
    return Failed(CSerialLink::Fault::kOther, std::move(problem));
  }
  return address;
}

LineResult<AddressList> Resolve(const NetworkAddress& address, LineClock::time_point deadline) {
  socket_system::StartSockets();
  const uint16_t port = static_cast<uint16_t>(std::stoi(address.port));
  if (IsLocalhostName(address.host)) return AddressList{Loopback6(port), Loopback4(port)};
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found) == 0) {
    AddressList list = TakeList(found);
    if (list.empty()) return NotFound("look up " + ShownAddress(address.host) + ": no address to connect to");
    return list;
  }
  const std::string host = ShownAddress(address.host);
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
    return NotFound("look up " + host + ": " + e.what());
  }

  std::unique_lock<std::mutex> lock(lookup->mutex);
  if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
    lookup->abandoned = true;
    return NotFound("look up " + host + ": no answer within " + std::to_string(kOpenBound.count()) + " ms");
  }
  if (lookup->result != 0) {
    return NotFound("look up " + host + ": " +
                    (lookup->result == EAI_NONAME ? std::string("no such host")
                                                  : socket_system::LookupErrorText(lookup->result)));
  }
  AddressList list = TakeList(lookup->found);
  lookup->found = nullptr;
  if (list.empty()) return NotFound("look up " + host + ": no address to connect to");
  return list;
}

std::string Numeric(const Endpoint& entry) {
  char host[NI_MAXHOST] = {};
  char port[NI_MAXSERV] = {};
  getnameinfo(reinterpret_cast<const sockaddr*>(&entry.address), entry.size, host, sizeof host, port, sizeof port,
              NI_NUMERICHOST | NI_NUMERICSERV);
  return entry.address.ss_family == AF_INET6 ? "[" + std::string(host) + "]:" + port
                                             : std::string(host) + ":" + port;
}

LineResult<int> Connect(const Endpoint& entry, LineClock::time_point deadline) {
  const std::string where = "connect to " + Numeric(entry);
  const int fd = socket_system::OpenSocket(entry.address.ss_family, SOCK_STREAM, IPPROTO_TCP);
  if (fd < 0) return NotFound(where + ": " + ErrorText(LastError()));
  if (!socket_system::SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1)) {
    // Without it, bytes written within one round trip would go out together.
    const std::string reason = "turn off coalescing on " + Numeric(entry) + ": " + ErrorText(LastError());
    socket_system::CloseSocket(fd);
    return NotFound(reason);
  }
  socket_system::NoticeSilentLoss(fd);
  int err = 0;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&entry.address), entry.size) != 0) {
    err = LastError();
    if (socket_system::ConnectPending(err)) {
      const int ready = WaitFor(fd, POLLOUT, deadline);
      if (ready == 0) {
        socket_system::CloseSocket(fd);
        return NotFound(where + ": no answer within " + std::to_string(kOpenBound.count()) + " ms");
      }
      err = ready < 0 ? errno : socket_system::PendingError(fd);
    }
  }
  if (err != 0) {
    socket_system::CloseSocket(fd);
    return NotFound(where + ": " + ErrorText(err));
  }
  return fd;
}

double SmoothedRoundTripMs(int fd) { return socket_system::SmoothedRoundTripMs(fd); }

}  // namespace network_connect

std::string NetworkAddressProblem(const std::string& address) {
  const LineResult<network_connect::NetworkAddress> parsed = network_connect::ParseAddress(address);
  return parsed ? std::string() : parsed.Failure().reason;
}

std::string ShownAddress(const std::string& text) {
  constexpr size_t kHead = 48, kTail = 24;
  if (text.size() <= kHead + kTail + 8) return text;
  // Cut between characters, never inside one written in several bytes.
  auto continuation = [&text](size_t at) { return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; };
  size_t head = kHead;
  while (head > 0 && continuation(head)) --head;
  size_t tail = text.size() - kTail;
  while (tail < text.size() && continuation(tail)) ++tail;
  return text.substr(0, head) + "\u2026" + text.substr(tail);
}
