// A read-only folder and a full disk for tests.
#include "support/write_fixtures.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace testsupport {
namespace {

bool RunQuietly(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

}  // namespace

bool MarkReadOnly(const std::string& path, bool readOnly) { return chmod(path.c_str(), readOnly ? 0444 : 0644) == 0; }

ReadOnlyFolder::ReadOnlyFolder(std::string path) : m_path(std::move(path)) {
  if (geteuid() != 0) {
    m_made = chmod(m_path.c_str(), 0555) == 0;
    if (!m_made) m_whyNot = "chmod " + m_path + ": " + std::strerror(errno);
    return;
  }
  m_immutable = m_made = RunQuietly("chattr +i '" + m_path + "'");
  if (!m_made) m_whyNot = "running as root and chattr +i is unavailable here, so no folder is read-only";
}

void ReadOnlyFolder::Undo() {
  if (!m_made) return;
  if (m_immutable) RunQuietly("chattr -i '" + m_path + "'");
  chmod(m_path.c_str(), 0700);
  m_made = false;
}

SmallDisk::SmallDisk(std::string path, unsigned long bytes) : m_path(std::move(path)) {
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
  m_mounted = mount("tmpfs", m_path.c_str(), "tmpfs", 0, options.c_str()) == 0;
  if (!m_mounted) {
    m_whyNot = std::string("cannot mount a small tmpfs here (") + std::strerror(errno) + "), so no full disk can be made";
  }
}

SmallDisk::~SmallDisk() {
  if (m_mounted) umount2(m_path.c_str(), MNT_DETACH);
}

void SmallDisk::Fill() {
  const int fd = open((m_path + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const char block[4096] = {};
  for (size_t size = sizeof block; size > 0; size /= 2) {
    while (write(fd, block, size) == static_cast<ssize_t>(size)) {
    }
  }
  close(fd);
}

void SmallDisk::Free() { unlink((m_path + "/filler").c_str()); }

}  // namespace testsupport
