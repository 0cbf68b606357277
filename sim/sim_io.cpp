// The simulator's system calls on POSIX: descriptors and poll, a pipe for
// wake-ups, BSD sockets for its TCP server.
#include "sim/sim_io.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace sim::io {
namespace {

Transfer Outcome(ssize_t n) {
  Transfer t;
  if (n >= 0) {
    t.count = static_cast<size_t>(n);
    return t;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK) {
    t.status = Transfer::Status::WouldBlock;
  } else if (errno == EIO || errno == ECONNRESET || errno == EPIPE || errno == ENOTCONN) {
    t.status = Transfer::Status::Ended;
  } else {
    t.status = Transfer::Status::Failed;
    t.error = std::strerror(errno);
  }
  return t;
}

// The address of a socket, as the system put it.
std::string AddressText(const sockaddr* address, socklen_t size) {
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  if (getnameinfo(address, size, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "an unknown address";
  }
  return JoinHostPort(host, port);
}

}  // namespace

void Wait(Watch* watches, size_t count, int timeoutMs) {
  std::vector<pollfd> fds(count);
  for (size_t i = 0; i < count; ++i) {
    fds[i].fd = static_cast<int>(watches[i].handle);
    fds[i].events = static_cast<short>((watches[i].read ? POLLIN : 0) | (watches[i].write ? POLLOUT : 0));
  }
  const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
  for (size_t i = 0; i < count; ++i) {
    const short got = ready > 0 ? fds[i].revents : 0;
    watches[i].readable = (got & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
    watches[i].writable = (got & POLLOUT) != 0;
  }
}

Transfer Read(Handle handle, uint8_t* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle), buffer, size);
    if (n < 0 && errno == EINTR) continue;
    Transfer t = Outcome(n);
    if (n == 0) t.status = Transfer::Status::Ended;  // a socket's client closed it
    return t;
  }
}

Transfer Write(Handle handle, const uint8_t* bytes, size_t count) {
  const int fd = static_cast<int>(handle);
  for (;;) {
    // A socket's closed connection is a status here, not SIGPIPE.
    ssize_t n = ::send(fd, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == ENOTSOCK) n = ::write(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    return Outcome(n);
  }
}

void Close(Handle handle) {
  if (handle != kNoHandle) ::close(static_cast<int>(handle));
}

bool WakeSignal::Open(std::string* error) {
  Close();
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    if (error) *error = std::string("cannot make a wake-up pipe: ") + std::strerror(errno);
    return false;
  }
  m_read = ends[0];
  m_write = ends[1];
  return true;
}

void WakeSignal::Close() {
  io::Close(m_read);
  io::Close(m_write);
  m_read = m_write = kNoHandle;
}

void WakeSignal::Give() {
  if (m_write == kNoHandle) return;
  const char b = 1;
  // A full pipe already holds a wake-up, so a failed write loses nothing.
  [[maybe_unused]] ssize_t ignored = ::write(static_cast<int>(m_write), &b, 1);
}

void WakeSignal::Take() {
  char drain[64];
  while (::read(static_cast<int>(m_read), drain, sizeof drain) > 0) {
  }
}

Handle Listen(const std::string& host, int port, std::string* where, std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int looked = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (looked != 0) {
    if (error) *error = "cannot listen on " + JoinHostPort(host, service) + ": " + gai_strerror(looked);
    return kNoHandle;
  }
  std::string reason = "no address to listen on";
  int listener = -1;
  for (addrinfo* a = found; a && listener < 0; a = a->ai_next) {
    listener = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (listener < 0) {
      reason = std::strerror(errno);
      continue;
    }
    // A port a client of the last run still has in TIME_WAIT is free to take.
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listener, a->ai_addr, a->ai_addrlen) != 0 || ::listen(listener, 4) != 0) {
      reason = errno == EADDRINUSE ? PortInUseWords(service) : std::strerror(errno);
      ::close(listener);
      listener = -1;
    }
  }
  freeaddrinfo(found);
  if (listener < 0) {
    if (error) *error = "cannot listen on " + JoinHostPort(host, service) + ": " + reason;
    return kNoHandle;
  }
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &size);
  *where = AddressText(reinterpret_cast<sockaddr*>(&bound), size);
  return listener;
}

Handle Accept(Handle listener, std::string* peer) {
  sockaddr_storage from{};
  socklen_t size = sizeof from;
  for (;;) {
    const int client = ::accept4(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&from), &size,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0 && (errno == EINTR || errno == ECONNABORTED)) continue;
    if (client < 0) return kNoHandle;
    const int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    *peer = AddressText(reinterpret_cast<sockaddr*>(&from), size);
    return client;
  }
}

// Real-time priority where the system allows it (root, or an rtprio limit);
// elsewhere the thread keeps its normal priority.
void RaiseThreadPriority() {
  sched_param param{};
  param.sched_priority = 1;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace sim::io
