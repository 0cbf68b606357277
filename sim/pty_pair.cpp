// Opening and closing the simulator's pseudo-terminal pair (POSIX).
#include "sim/pty_pair.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sim {
namespace {

std::string Failed(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

PtyPair::~PtyPair() { Close(); }

bool PtyPair::Open(std::string* error) {
  Close();
  std::string reason;
  m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0) {
    reason = Failed("cannot open a pseudo-terminal");
  } else if (::grantpt(m_master) != 0) {
    reason = Failed("cannot grant the pseudo-terminal");
  } else if (::unlockpt(m_master) != 0) {
    reason = Failed("cannot unlock the pseudo-terminal");
  } else if (const char* name = ::ptsname(m_master); name == nullptr) {
    reason = Failed("cannot name the pseudo-terminal slave");
  } else {
    m_slavePath = name;
  }

  if (reason.empty()) {
    // Settings made through the master are the line's: raw, so answer bytes
    // are never echoed back or translated before a client sets its own.
    termios tio{};
    if (::tcgetattr(m_master, &tio) != 0) {
      reason = Failed("cannot read the pseudo-terminal settings");
    } else {
      ::cfmakeraw(&tio);
      if (::tcsetattr(m_master, TCSANOW, &tio) != 0) reason = Failed("cannot make the pseudo-terminal raw");
    }
  }
  if (reason.empty()) {
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
      reason = Failed("cannot make the pseudo-terminal non-blocking");
    }
  }
  if (reason.empty()) {
    m_slaveHold = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_slaveHold < 0) reason = Failed(("cannot open " + m_slavePath).c_str());
  }
  if (!reason.empty()) {
    Close();
    if (error) *error = reason;
    return false;
  }
  return true;
}

void PtyPair::Close() {
  if (m_slaveHold >= 0) ::close(m_slaveHold);
  if (m_master >= 0) ::close(m_master);
  m_slaveHold = -1;
  m_master = -1;
  m_slavePath.clear();
}

}  // namespace sim
