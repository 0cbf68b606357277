// Reasons and folders (see file_support.h).
#include "settings/file_support.h"

#include <cstring>

std::string Reason(const std::string& doing, int err) { return doing + ": " + std::strerror(err); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}
