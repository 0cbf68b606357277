// One pseudo-terminal pair for the simulated line: the master side, which
// the simulator reads and writes raw, and the path of the slave side, which
// the program under test opens as its serial device.
#pragma once

#include <string>

namespace sim {

class PtyPair {
 public:
  PtyPair() = default;
  ~PtyPair();  // closes both descriptors
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // Opens a new pair, closing any held before. The master is non-blocking
  // and raw (every byte passes unchanged both ways, no echo). The pair also
  // keeps a descriptor on the slave itself, so the master stays usable while
  // no client has the slave open; it is opened before any client and takes
  // neither a lock nor exclusive use, so a client's own exclusive open still
  // works. False with *error set when any step fails.
  bool Open(std::string* error);

  // Closes both sides: a client holding the slave sees the device hang up.
  void Close();

  bool IsOpen() const { return m_master >= 0; }
  int Master() const { return m_master; }
  const std::string& SlavePath() const { return m_slavePath; }

 private:
  int m_master = -1;
  int m_slaveHold = -1;
  std::string m_slavePath;
};

}  // namespace sim
