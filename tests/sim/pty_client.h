// The test's side of the simulated line: opens the slave of a pseudo-terminal
// as a program would open its serial device, raw, and moves bytes.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

class PtyClient {
 public:
  // O_RDWR | O_NOCTTY; made raw unless `raw` is false (then the settings
  // are left as the line has them).
  explicit PtyClient(const std::string& path, bool raw = true);
  ~PtyClient();
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool IsOpen() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }

  // Writes all bytes at once; false if the write fails.
  bool Send(const Bytes& bytes);
  // Writes one byte at a time with `pause` between them, as the program does.
  bool SendPaced(const Bytes& bytes, milliseconds pause);
  // Collects bytes until `count` have come or `window` has passed.
  Bytes Read(size_t count, milliseconds window);

 private:
  int m_fd = -1;
};

}  // namespace simtest
