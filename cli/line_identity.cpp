// A line's identity on Linux: its path with every link followed.
#include <stdlib.h>

#include "cli/line_identity.h"

std::string LineIdentity(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string device = real;
  free(real);
  return device;
}
