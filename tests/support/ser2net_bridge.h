// A real ser2net for tests and benchmarks: it bridges a tty (a simulated
// unit line's pseudo-terminal) to two loopback TCP ports, one raw and one
// Telnet with COM-port control, from a configuration written into a folder.
#pragma once

#include <memory>
#include <string>

namespace testsupport {

class ChildProcess;

class Ser2netBridge {
 public:
  struct Options {
    // ser2net's own default holds received bytes back about 2 ms; off, the
    // answers pass at once.
    bool charDelay = false;
  };

  // Starts ser2net for `ttyPath` with its configuration in `folder`. When it
  // cannot run (not installed, no port), Running() is false and Why() says why.
  Ser2netBridge(const std::string& ttyPath, const std::string& folder, Options options);
  Ser2netBridge(const std::string& ttyPath, const std::string& folder) : Ser2netBridge(ttyPath, folder, Options{}) {}
  ~Ser2netBridge();
  Ser2netBridge(const Ser2netBridge&) = delete;
  Ser2netBridge& operator=(const Ser2netBridge&) = delete;

  bool Running() const;
  const std::string& Why() const { return m_why; }
  // "tcp://127.0.0.1:PORT" and "rfc2217://127.0.0.1:PORT".
  std::string RawAddress() const;
  std::string ComPortAddress() const;

  // Ends ser2net (its clients see the connection close); Start() brings it
  // back on the same ports and reports whether it listens again.
  void Stop();
  bool Start();

 private:
  std::string m_config;
  int m_rawPort = 0;
  int m_comPortPort = 0;
  std::string m_why;
  std::unique_ptr<ChildProcess> m_process;
};

}  // namespace testsupport
