// Windows has no pseudo-terminal to link to (see pty_pair_windows.cpp); the
// line is reached by its TCP address instead.
#include "sim/slave_link.h"

namespace sim {

bool PointLink(const std::string&, const std::string&, std::string* error) {
  if (error) *error = "--link names a pseudo-terminal, which Windows does not have";
  return false;
}

void RemoveLinkTo(const std::string&, const std::string&) {}

}  // namespace sim
