// Sockets for the network line on Windows: Winsock behind the calls of
// posix/socket_system.h (see there). Winsock's failures come back as the
// errno values the network files compare (EAGAIN, ECONNRESET, ...), and are
// put into Windows' own words.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <cerrno>
#include <string>

namespace socket_system {

// Winsock's failures that the network files tell apart, as errno values.
struct ErrorPair {
  int wsa;
  int posix;
};
inline constexpr ErrorPair kErrors[] = {
    {WSAEWOULDBLOCK, EAGAIN},        {WSAEINTR, EINTR},           {WSAEINPROGRESS, EINPROGRESS},
    {WSAECONNRESET, ECONNRESET},     {WSAECONNABORTED, ECONNRESET}, {WSAESHUTDOWN, EPIPE},
    {WSAETIMEDOUT, ETIMEDOUT},       {WSAEHOSTUNREACH, EHOSTUNREACH}, {WSAENETUNREACH, ENETUNREACH},
    {WSAECONNREFUSED, ECONNREFUSED},
};

// Starts Winsock, once, before the first socket or name lookup.
void StartSockets();

int LastError();
std::string ErrorText(int err);
// Winsock's lookup failures are its error codes.
inline std::string LookupErrorText(int result) { return ErrorText(result); }

int OpenSocket(int family, int type, int protocol);
inline void CloseSocket(int fd) { closesocket(static_cast<SOCKET>(fd)); }
inline bool SetOption(int fd, int level, int name, int value) {
  return setsockopt(static_cast<SOCKET>(fd), level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}
inline bool ConnectPending(int err) { return err == EAGAIN || err == EINPROGRESS || err == EINTR; }
int PendingError(int fd);

inline ssize_t SendNow(int fd, const void* bytes, size_t count) {
  return send(static_cast<SOCKET>(fd), static_cast<const char*>(bytes), static_cast<int>(count), 0);
}
inline ssize_t ReceiveNow(int fd, void* buffer, size_t size) {
  return recv(static_cast<SOCKET>(fd), static_cast<char*>(buffer), static_cast<int>(size), 0);
}

// Keep-alive probes after 5 s idle, every 2 s (Windows counts its probes
// itself). Best effort, as on Linux.
void NoticeSilentLoss(int fd);

// Windows gives no smoothed round trip here; the Telnet negotiation's own
// measurement stands.
inline double SmoothedRoundTripMs(int) { return -1; }

}  // namespace socket_system
