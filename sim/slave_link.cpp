// Making and removing the simulated line's symbolic link (POSIX).
#include "sim/slave_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace sim {
namespace {

bool LinkTarget(const std::string& linkPath, std::string* target) {
  std::vector<char> buffer(4096);
  const ssize_t n = ::readlink(linkPath.c_str(), buffer.data(), buffer.size());
  if (n < 0 || static_cast<size_t>(n) >= buffer.size()) return false;
  target->assign(buffer.data(), static_cast<size_t>(n));
  return true;
}

}  // namespace

bool PointLink(const std::string& linkPath, const std::string& target, std::string* error) {
  struct stat info{};
  if (::lstat(linkPath.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
    if (error) *error = linkPath + " exists and is not a symbolic link; not replacing it";
    return false;
  }
  const std::string temp = linkPath + ".new-" + std::to_string(::getpid());
  ::unlink(temp.c_str());
  if (::symlink(target.c_str(), temp.c_str()) != 0) {
    if (error) *error = "cannot make a link at " + temp + ": " + std::strerror(errno);
    return false;
  }
  if (::rename(temp.c_str(), linkPath.c_str()) != 0) {
    if (error) *error = "cannot put the link at " + linkPath + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

void RemoveLinkTo(const std::string& linkPath, const std::string& target) {
  std::string current;
  if (LinkTarget(linkPath, &current) && current == target) ::unlink(linkPath.c_str());
}

}  // namespace sim
