// Reading row files from any readable source, writing them to any target.
#include "cli/cli_files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <ostream>

#include "cli/stop_signals.h"
#include "device/byte_trace.h"
#include "settings/atomic_file.h"
#include "settings/file_support.h"

namespace {


const std::string kTooLarge = "over 64 MiB; a row file is far smaller";

// Reads `fd` to its end, waiting in short steps so that a stop signal is seen
// even while nothing arrives.
bool ReadStream(int fd, const std::string& name, std::string* text, std::string* error) {
  char chunk[65536];
  for (;;) {
    if (StopAsked()) {
      *error = name + ": stopped by a signal while waiting for rows; nothing was sent";
      return false;
    }
    pollfd wait{fd, POLLIN, 0};
    const int ready = poll(&wait, 1, 100);
    if (ready < 0 && errno != EINTR) {
      *error = Reason("reading " + name, errno);
      return false;
    }
    if (ready <= 0) continue;
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      *error = Reason("reading " + name, errno);
      return false;
    }
    if (n == 0) return true;
    if (text->size() + static_cast<size_t>(n) > kLargestRowFile) {
      *error = name + ": " + kTooLarge;
      return false;
    }
    text->append(chunk, static_cast<size_t>(n));
  }
}

// Standard output or error named as a path: the descriptor, else -1.
int StandardStreamNamed(const std::string& name) {
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::string digits = name.substr(0, std::strlen(prefix)) == prefix ? name.substr(std::strlen(prefix)) : "";
    if (digits == "1" || digits == "2") return digits[0] - '0';
  }
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  // Any other name of the file behind them (a link to /dev/stdout, /proc/PID/fd/1).
  struct stat target {};
  if (stat(name.c_str(), &target) != 0) return -1;
  for (int fd : {1, 2}) {
    struct stat open {};
    if (fstat(fd, &open) == 0 && open.st_dev == target.st_dev && open.st_ino == target.st_ino) return fd;
  }
  return -1;
}

}  // namespace

bool ReadRowSource(const std::string& name, int inFd, std::istream& in, std::string* text, std::string* error) {
  text->clear();
  if (name == "-" && inFd < 0) {
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
      if (text->size() + static_cast<size_t>(in.gcount()) > kLargestRowFile) {
        *error = "stdin: " + kTooLarge;
        return false;
      }
      text->append(chunk, static_cast<size_t>(in.gcount()));
    }
    return true;
  }
  if (name == "-") return ReadStream(inFd, "stdin", text, error);

  const int fd = open(name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno == ENOENT ? name + ": no such file" : Reason(name, errno);
    return false;
  }
  struct stat info {};
  bool ok = fstat(fd, &info) == 0;
  if (!ok) {
    *error = Reason(name, errno);
  } else if (S_ISDIR(info.st_mode)) {
    *error = name + ": a folder, not a row file";
    ok = false;
  } else if (S_ISREG(info.st_mode) && static_cast<size_t>(info.st_size) > kLargestRowFile) {
    *error = name + ": " + kTooLarge;
    ok = false;
  } else {
    ok = ReadStream(fd, name, text, error);
  }
  close(fd);
  return ok;
}

bool IsStandardOutput(const std::string& name) { return name == "-" || StandardStreamNamed(name) == 1; }

bool WriteOutput(const std::string& name, const std::string& text, std::ostream& out, std::ostream& err,
                 std::string* error) {
  const int standard = name == "-" ? 1 : StandardStreamNamed(name);
  if (standard > 0) {
    std::ostream& stream = standard == 1 ? out : err;
    stream << text << std::flush;
    if (!stream) *error = Reason(standard == 1 ? "writing standard output" : "writing standard error", errno);
    return static_cast<bool>(stream);
  }
  struct stat info {};
  if (stat(name.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return WriteFileAtomically(name, text, error);

  // A pipe, a FIFO, a terminal: there is no file to replace. A FIFO without
  // a reader yet is waited for, but not past a stop signal.
  int fd = -1;
  while ((fd = open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)) < 0 && errno == ENXIO &&
         S_ISFIFO(info.st_mode)) {
    if (StopAsked()) {
      *error = name + ": stopped by a signal while waiting for a reader; the rows were not written";
      return false;
    }
    poll(nullptr, 0, 100);
  }
  if (fd < 0) {
    *error = Reason("opening " + name, errno);
    return false;
  }
  if (isatty(fd) && !IsOwnTerminal(fd)) {
    close(fd);
    *error = name + ": a terminal line, perhaps a unit line; rows are not written onto one";
    return false;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    *error = Reason("opening " + name, errno);
    close(fd);
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = Reason("writing " + name, errno);
      close(fd);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0) {
    *error = Reason("writing " + name, errno);
    return false;
  }
  return true;
}

bool CheckOutputTarget(const std::string& name, std::string* error) {
  if (name == "-" || StandardStreamNamed(name) > 0) return true;
  struct stat info {};
  if (stat(name.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      *error = name + ": a folder; rows are written to a file";
      return false;
    }
    if (!S_ISREG(info.st_mode)) return true;  // a pipe, a FIFO, a terminal: found out when written to
  } else if (errno != ENOENT) {
    *error = Reason(name, errno);
    return false;
  }
  // A file is replaced by a new one made beside it.
  const std::string folder = FolderOf(name);
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    *error = Reason(name + ": its folder " + folder + " cannot take a new file", errno);
    return false;
  }
  return true;
}

bool IsRegularFile(const std::string& name) {
  struct stat info {};
  return stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool MakeNewFile(const std::string& name, bool* taken, std::string* error) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  *taken = fd < 0 && errno == EEXIST;
  if (fd >= 0) {
    close(fd);
    return true;
  }
  if (!*taken) *error = Reason("making " + name, errno);
  return false;
}
