// Winsock for the network line (see windows/socket_system.h).
#include "socket_system.h"

#include <mutex>

#include "settings/windows_text.h"

namespace socket_system {

void StartSockets() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);  // a failure shows at the first socket call, in its words
  });
}

int LastError() {
  const int wsa = WSAGetLastError();
  for (const ErrorPair& pair : kErrors) {
    if (pair.wsa == wsa) return pair.posix;
  }
  return wsa;
}

std::string ErrorText(int err) {
  for (const ErrorPair& pair : kErrors) {
    if (pair.posix == err) return windows_text::ErrorText(static_cast<DWORD>(pair.wsa));
  }
  return windows_text::ErrorText(static_cast<DWORD>(err));
}

int OpenSocket(int family, int type, int protocol) {
  StartSockets();
  const SOCKET s = WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return -1;
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    closesocket(s);
    return -1;
  }
  // Socket values are small handle numbers; an int holds them.
  return static_cast<int>(s);
}

int PendingError(int fd) {
  int err = 0;
  int size = sizeof err;
  if (getsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &size) != 0) return 0;
  for (const ErrorPair& pair : kErrors) {
    if (pair.wsa == err) return pair.posix;
  }
  return err;
}

void NoticeSilentLoss(int fd) {
  tcp_keepalive wanted{1, 5000, 2000};  // on, after 5 s idle, every 2 s
  DWORD returned = 0;
  WSAIoctl(static_cast<SOCKET>(fd), SIO_KEEPALIVE_VALS, &wanted, sizeof wanted, nullptr, 0, &returned, nullptr,
           nullptr);
}

}  // namespace socket_system
