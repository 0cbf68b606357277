// Windows has no pseudo-terminals: the simulated line is served over TCP
// there (dimlet-sim --listen), and this half only says so.
#include "sim/pty_pair.h"

namespace sim {

PtyPair::~PtyPair() { Close(); }

bool PtyPair::Open(std::string* error) {
  if (error) {
    *error = "Windows has no pseudo-terminals: serve the line over TCP with --listen PORT "
             "(e.g. --listen 5000) and open it as tcp://127.0.0.1:PORT";
  }
  return false;
}

void PtyPair::Close() {}

}  // namespace sim
