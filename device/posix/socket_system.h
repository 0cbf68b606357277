// Sockets for the network line on POSIX (windows/socket_system.h is the
// Winsock half; CMake puts one of the two folders on the include path). The
// network files call these instead of the system, so that they need not know
// which system they run on; a socket is an int on both.
#pragma once

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "device/posix_error.h"

namespace socket_system {

// Makes the system's sockets ready before the first lookup; nothing here.
inline void StartSockets() {}

// The last failure of a socket call, as an errno value.
inline int LastError() { return errno; }
inline std::string ErrorText(int err) { return posix_error::ErrorText(err); }
// A name lookup's failure (getaddrinfo's result) in words.
inline std::string LookupErrorText(int result) { return gai_strerror(result); }

// A socket that never blocks and is not inherited; -1 with LastError() set.
inline int OpenSocket(int family, int type, int protocol) {
  return socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
}
inline void CloseSocket(int fd) { close(fd); }
inline bool SetOption(int fd, int level, int name, int value) {
  return setsockopt(fd, level, name, &value, sizeof value) == 0;
}
// Whether a connect that failed with `err` is only under way.
inline bool ConnectPending(int err) { return err == EINPROGRESS || err == EINTR; }
// The connection's own error (SO_ERROR), or 0.
inline int PendingError(int fd) {
  int err = 0;
  socklen_t size = sizeof err;
  return getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &size) == 0 ? err : 0;
}

// Without waiting, and without SIGPIPE on a closed connection.
inline ssize_t SendNow(int fd, const void* bytes, size_t count) {
  return send(fd, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
}
inline ssize_t ReceiveNow(int fd, void* buffer, size_t size) { return recv(fd, buffer, size, MSG_DONTWAIT); }

// A cable pulled or a host gone without a word: the kernel gives up on
// unanswered bytes after 5 s, and probes an idle connection, so the watch
// wakes up then as it does for a reset. Best effort: without them such a loss
// shows only as answers missing.
inline void NoticeSilentLoss(int fd) {
  const unsigned giveUpMs = 5000;
  SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 5);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 2);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
  setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &giveUpMs, sizeof giveUpMs);
}

// The kernel's smoothed round trip of the connection, in ms; -1 when it
// cannot tell.
inline double SmoothedRoundTripMs(int fd) {
  tcp_info info{};
  socklen_t size = sizeof info;
  if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return -1;
  return info.tcpi_rtt / 1000.0;
}

}  // namespace socket_system
