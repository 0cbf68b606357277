// Replacing a file atomically (see atomic_file.h).
#include "settings/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdio.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "settings/file_support.h"

namespace {

constexpr int kMostLinks = 40;  // as the kernel's own limit on a chain of links
constexpr int kTemporaryAttempts = 8;

// The prefix of the temporary files made for a target named `fileName`.
std::string TemporaryFilePrefix(const std::string& fileName) { return "." + fileName + ".tmp."; }

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows a chain of symbolic links, also one whose final target does not
// exist yet, so that the write creates that target instead of replacing the link.
bool FinalTarget(const std::string& path, std::string* target, std::string* error) {
  std::string current = path;
  for (int hop = 0; hop < kMostLinks; ++hop) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *target = current;
      return true;
    }
    std::vector<char> link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    ssize_t length = readlink(current.c_str(), link.data(), link.size());
    if (length < 0) {
      *error = Reason("following link " + current, errno);
      return false;
    }
    std::string next(link.data(), static_cast<size_t>(length));
    current = next.front() == '/' ? next : FolderOf(current) + "/" + next;
  }
  *error = Reason("following link " + path, ELOOP);
  return false;
}

// The mode a new file gets: 0644 less the umask. /proc gives the umask
// without changing it; the umask() round trip is the fallback for old kernels.
mode_t NewFileMode() {
  mode_t mask = 0;
  bool found = false;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned value = 0;
    while (std::fgets(line, sizeof line, status)) {
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        found = true;
        break;
      }
    }
    std::fclose(status);
  }
  if (!found) {
    mask = umask(022);
    umask(mask);
  }
  return 0644 & ~mask;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A writer holds an exclusive lock on its temporary file until it has renamed
// it; a file of our naming that can be locked belongs to a writer that died.
void RemoveLeftTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;  // the write itself will report why the folder is unusable
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string path = folder + "/" + name;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat held {};
    struct stat named {};
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
        lstat(path.c_str(), &named) == 0 && SameFile(held, named)) {
      unlink(path.c_str());
    }
    close(fd);
  }
  closedir(dir);
}

// Makes and locks a temporary file. A sweeper in another process may remove
// the file between its creation and our lock; then the name no longer leads to
// our file and a fresh one is made.
int CreateTemporary(const std::string& prefixPath, std::string* tempPath, std::string* error) {
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    std::string pattern = prefixPath + "XXXXXX";
    int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
      *error = Reason("creating a temporary file in " + FolderOf(prefixPath), errno);
      return -1;
    }
    struct stat held {};
    struct stat named {};
    if (flock(fd, LOCK_EX) == 0 && fstat(fd, &held) == 0 && lstat(pattern.c_str(), &named) == 0 &&
        SameFile(held, named)) {
      *tempPath = pattern;
      return fd;
    }
    close(fd);
  }
  *error = "creating a temporary file in " + FolderOf(prefixPath) + ": it kept vanishing";
  return -1;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t done = write(fd, bytes.data(), bytes.size());
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(done));
  }
  return true;
}

// Fills the temporary file and makes it durable; returns the failure's text.
bool FillTemporary(int fd, const std::string& tempPath, std::string_view bytes, const struct stat* old,
                   std::string* error) {
  if (!WriteAll(fd, bytes)) {
    *error = Reason("writing " + tempPath, errno);
    return false;
  }
  if (fchmod(fd, old ? old->st_mode & 07777 : NewFileMode()) != 0) {
    *error = Reason("setting the permissions of " + tempPath, errno);
    return false;
  }
  // Keeping the owner matters only when root saves someone else's file; an
  // ordinary user cannot give a file away and keeps it as their own.
  if (old && (old->st_uid != geteuid() || old->st_gid != getegid()) &&
      fchown(fd, old->st_uid, old->st_gid) != 0) {
    // Not a reason to fail the save: the file is whole, only its owner differs.
  }
  if (fsync(fd) != 0) {
    *error = Reason("writing " + tempPath + " to disk", errno);
    return false;
  }
  return true;
}

// Where renameat2's flags are unknown (old kernel, some filesystems), the
// check is made just before a plain rename.
bool Unsupported(int err) { return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP; }

bool StillExpected(const std::string& target, const FileStamp& expected) {
  struct stat now {};
  if (stat(target.c_str(), &now) != 0) return errno == ENOENT && !expected.exists;
  return SameStamp(StampOf(now), expected);
}

// Puts the temporary file in the target's place. With `expected`, only over
// the file it stamps; *changed is set when that file had been replaced.
bool PutInPlace(int fd, const std::string& tempPath, const std::string& target, const FileStamp* expected,
                bool* changed, std::string* error) {
  *changed = false;
  if (!expected) {
    if (rename(tempPath.c_str(), target.c_str()) == 0) return true;
    *error = Reason("replacing " + target, errno);
    return false;
  }
  // Most changes are seen here, before the new file is ever shown to a reader.
  if (!StillExpected(target, *expected)) {
    *changed = true;
    return false;
  }
  if (!expected->exists) {
    if (renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) {
      *changed = true;
      return false;
    }
    if (!Unsupported(errno)) {
      *error = Reason("replacing " + target, errno);
      return false;
    }
  } else if (renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    // The old file now has the temporary name: it must be the one merged.
    struct stat taken {};
    if (lstat(tempPath.c_str(), &taken) == 0 && SameStamp(StampOf(taken), *expected)) return true;
    *changed = true;
    // Put the newer file back. Should yet another program have replaced ours
    // meanwhile, its file is left alone under the temporary name.
    struct stat ours {};
    struct stat there {};
    if (fstat(fd, &ours) == 0 && lstat(target.c_str(), &there) == 0 && SameFile(ours, there) &&
        renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) != 0) {
      *changed = false;
      *error = Reason("putting back " + target + " after it changed while being saved", errno);
    }
    return false;
  } else if (errno == ENOENT) {
    *changed = true;  // removed meanwhile: merge again with it gone
    return false;
  } else if (!Unsupported(errno)) {
    *error = Reason("replacing " + target, errno);
    return false;
  }
  if (!StillExpected(target, *expected)) {
    *changed = true;
    return false;
  }
  if (rename(tempPath.c_str(), target.c_str()) == 0) return true;
  *error = Reason("replacing " + target, errno);
  return false;
}

// The one replacing of both public functions. With `expected`, *changed is
// set when the file was no longer the one stamped (nothing replaced, no failure).
bool Replace(const std::string& path, std::string_view bytes, const FileStamp* expected, bool* changed,
             std::string* error) {
  *changed = false;
  std::string target;
  if (!FinalTarget(path, &target, error)) return false;

  struct stat old {};
  bool hadOld = stat(target.c_str(), &old) == 0;
  if (hadOld && !S_ISREG(old.st_mode)) {
    *error = S_ISDIR(old.st_mode) ? Reason("replacing " + target, EISDIR)
                                  : "replacing " + target + ": not a regular file";
    return false;
  }
  // A file nobody may write is not to change: a rename would replace it all
  // the same (the folder allows it), where writing it in place is refused.
  if (hadOld && (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    *error = "replacing " + target + ": it is read-only";
    return false;
  }
  if (expected && !SameStamp(hadOld ? StampOf(old) : FileStamp{}, *expected)) {
    *changed = true;
    return false;
  }

  const std::string folder = FolderOf(target);
  const std::string prefix = TemporaryFilePrefix(NameOf(target));
  RemoveLeftTemporaries(folder, prefix);

  std::string tempPath;
  int fd = CreateTemporary(folder + "/" + prefix, &tempPath, error);
  if (fd < 0) return false;

  // The file stays open, and so locked against sweepers, until it is renamed.
  bool done = FillTemporary(fd, tempPath, bytes, hadOld ? &old : nullptr, error) &&
              PutInPlace(fd, tempPath, target, expected, changed, error);
  if (!done) {
    // After a swap put back, the name holds our file again; anything else
    // there (a file another program saved meanwhile) is not ours to remove.
    struct stat ours {};
    struct stat there {};
    if (fstat(fd, &ours) == 0 && lstat(tempPath.c_str(), &there) == 0 && SameFile(ours, there)) {
      unlink(tempPath.c_str());
    }
  } else if (expected && expected->exists) {
    // The old file, swapped out (absent after the plain rename of the fallback).
    struct stat taken {};
    if (lstat(tempPath.c_str(), &taken) == 0 && taken.st_ino == expected->inode) unlink(tempPath.c_str());
  }
  // The data were fsync'ed already, so close() has nothing left to report.
  close(fd);
  if (!done) return false;

  // The rename is durable only once the folder's entry is on disk.
  int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0 || fsync(dirFd) != 0) {
    *error = Reason("writing folder " + folder + " to disk", errno);
    if (dirFd >= 0) close(dirFd);
    return false;
  }
  close(dirFd);
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  bool changed = false;  // stays false: there is no stamp to differ from
  return Replace(path, bytes, nullptr, &changed, error);
}

bool ReplaceFileIfUnchanged(const std::string& path, std::string_view bytes, const FileStamp& expected,
                            bool* changedMeanwhile, std::string* error) {
  return Replace(path, bytes, &expected, changedMeanwhile, error);
}
