// What the device link makes of errno values on a Linux tty; shared by the
// open and transfer halves of CSerialLink.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

namespace posix_error {

// The errors by which a tty says it is no longer there (adapter pulled,
// other side of a pty closed).
inline bool MeansGone(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

inline std::string ErrorText(int err) {
  char buffer[256];
  // GNU strerror_r: returns the text, possibly not in buffer.
  return strerror_r(err, buffer, sizeof buffer);
}

}  // namespace posix_error
