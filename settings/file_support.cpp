// Reasons (see file_support.h) and stamps compared (whole_file.h).
#include "settings/file_support.h"

#include <cstring>

std::string Reason(const std::string& doing, int err) { return doing + ": " + std::strerror(err); }

bool SameStamp(const FileStamp& a, const FileStamp& b) {
  if (a.exists != b.exists) return false;
  if (!a.exists) return true;
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec;
}
