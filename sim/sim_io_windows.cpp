// The simulator's system calls on Windows: Winsock sockets and WSAPoll, a
// loopback datagram socket that sends itself its wake-ups (WSAPoll waits on
// sockets only), and the TCP server.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <vector>

#include "settings/windows_text.h"
#include "sim/sim_io.h"

namespace sim::io {
namespace {

void StartSockets() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);  // a failure shows at the first socket call, in its words
  });
}

SOCKET Sock(Handle handle) { return static_cast<SOCKET>(handle); }

std::string LastErrorText() { return windows_text::ErrorText(static_cast<DWORD>(WSAGetLastError())); }

Transfer Outcome(int n) {
  Transfer t;
  if (n >= 0) {
    t.count = static_cast<size_t>(n);
    return t;
  }
  const int err = WSAGetLastError();
  if (err == WSAEWOULDBLOCK) {
    t.status = Transfer::Status::WouldBlock;
  } else if (err == WSAECONNRESET || err == WSAECONNABORTED || err == WSAESHUTDOWN || err == WSAENOTCONN) {
    t.status = Transfer::Status::Ended;
  } else {
    t.status = Transfer::Status::Failed;
    t.error = windows_text::ErrorText(static_cast<DWORD>(err));
  }
  return t;
}

bool NonBlocking(SOCKET s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}

std::string AddressText(const sockaddr* address, int size) {
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  if (getnameinfo(address, size, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "an unknown address";
  }
  return JoinHostPort(host, port);
}

}  // namespace

void Wait(Watch* watches, size_t count, int timeoutMs) {
  // WSAPoll refuses a set with a handle that is no socket: only real ones go in.
  std::vector<WSAPOLLFD> fds;
  std::vector<size_t> which;
  for (size_t i = 0; i < count; ++i) {
    watches[i].readable = watches[i].writable = false;
    if (watches[i].handle == kNoHandle) continue;
    WSAPOLLFD fd{};
    fd.fd = Sock(watches[i].handle);
    fd.events = static_cast<short>((watches[i].read ? POLLRDNORM : 0) | (watches[i].write ? POLLWRNORM : 0));
    fds.push_back(fd);
    which.push_back(i);
  }
  if (fds.empty()) {
    ::Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    return;
  }
  if (WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs) <= 0) return;
  for (size_t k = 0; k < fds.size(); ++k) {
    const short got = fds[k].revents;
    watches[which[k]].readable = (got & (POLLRDNORM | POLLHUP | POLLERR | POLLNVAL)) != 0;
    watches[which[k]].writable = (got & POLLWRNORM) != 0;
  }
}

Transfer Read(Handle handle, uint8_t* buffer, size_t size) {
  const int n = recv(Sock(handle), reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
  Transfer t = Outcome(n);
  if (n == 0) t.status = Transfer::Status::Ended;  // the client closed its side
  return t;
}

Transfer Write(Handle handle, const uint8_t* bytes, size_t count) {
  return Outcome(send(Sock(handle), reinterpret_cast<const char*>(bytes), static_cast<int>(count), 0));
}

void Close(Handle handle) {
  if (handle != kNoHandle) closesocket(Sock(handle));
}

bool WakeSignal::Open(std::string* error) {
  Close();
  StartSockets();
  const SOCKET s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof self;
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&self), size) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&self), &size) != 0 ||
      connect(s, reinterpret_cast<sockaddr*>(&self), size) != 0 || !NonBlocking(s)) {
    if (error) *error = "cannot make a wake-up socket: " + LastErrorText();
    if (s != INVALID_SOCKET) closesocket(s);
    return false;
  }
  // One socket, connected to itself, is both ends.
  m_read = static_cast<Handle>(s);
  m_write = kNoHandle;
  return true;
}

void WakeSignal::Close() {
  io::Close(m_read);
  m_read = m_write = kNoHandle;
}

void WakeSignal::Give() {
  if (m_read == kNoHandle) return;
  const char b = 1;
  // A full buffer already holds a wake-up, so a failed send loses nothing.
  send(Sock(m_read), &b, 1, 0);
}

void WakeSignal::Take() {
  char drain[64];
  while (recv(Sock(m_read), drain, sizeof drain, 0) > 0) {
  }
}

Handle Listen(const std::string& host, int port, std::string* where, std::string* error) {
  StartSockets();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) {
    if (error) *error = "cannot listen on " + JoinHostPort(host, service) + ": " + LastErrorText();
    return kNoHandle;
  }
  std::string reason = "no address to listen on";
  SOCKET listener = INVALID_SOCKET;
  for (addrinfo* a = found; a && listener == INVALID_SOCKET; a = a->ai_next) {
    listener = WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (listener == INVALID_SOCKET) {
      reason = LastErrorText();
      continue;
    }
    // Windows' SO_REUSEADDR would let another program take the port as well;
    // exclusive use is what POSIX's bind gives.
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    if (bind(listener, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0 || listen(listener, 4) != 0 ||
        !NonBlocking(listener)) {
      // Some systems' message tables lack Winsock's codes: the commonest is said here.
      reason = WSAGetLastError() == WSAEADDRINUSE ? PortInUseWords(service) : LastErrorText();
      closesocket(listener);
      listener = INVALID_SOCKET;
    }
  }
  freeaddrinfo(found);
  if (listener == INVALID_SOCKET) {
    if (error) *error = "cannot listen on " + JoinHostPort(host, service) + ": " + reason;
    return kNoHandle;
  }
  sockaddr_storage bound{};
  int size = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &size);
  *where = AddressText(reinterpret_cast<sockaddr*>(&bound), size);
  return static_cast<Handle>(listener);
}

Handle Accept(Handle listener, std::string* peer) {
  sockaddr_storage from{};
  int size = sizeof from;
  const SOCKET client = accept(Sock(listener), reinterpret_cast<sockaddr*>(&from), &size);
  if (client == INVALID_SOCKET) return kNoHandle;
  if (!NonBlocking(client)) {
    closesocket(client);
    return kNoHandle;
  }
  const int on = 1;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  *peer = AddressText(reinterpret_cast<sockaddr*>(&from), size);
  return static_cast<Handle>(client);
}

void RaiseThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL); }

}  // namespace sim::io
