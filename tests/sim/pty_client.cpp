// The test's side of the simulated line.
#include "pty_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace simtest {

PtyClient::PtyClient(const std::string& path, bool raw) {
  m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_fd < 0 || !raw) return;
  termios tio{};
  ::tcgetattr(m_fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(m_fd, TCSANOW, &tio);
}

PtyClient::~PtyClient() {
  if (m_fd >= 0) ::close(m_fd);
}

bool PtyClient::Send(const Bytes& bytes) {
  return ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool PtyClient::SendPaced(const Bytes& bytes, milliseconds pause) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(pause);
    if (::write(m_fd, &bytes[i], 1) != 1) return false;
  }
  return true;
}

Bytes PtyClient::Read(size_t count, milliseconds window) {
  Bytes got;
  const auto end = std::chrono::steady_clock::now() + window;
  while (got.size() < count) {
    const auto left = std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    uint8_t buffer[64];
    const ssize_t n = ::read(m_fd, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

}  // namespace simtest
