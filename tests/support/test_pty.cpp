// Pseudo-terminals from either end: a pair with a recorder on its master, and
// a client on a slave.
#include "test_pty.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {
namespace {

// Writes every byte, however the kernel splits the write.
bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, bytes + done, size - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

TestPty::TestPty(bool record) {
  m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  m_slavePath = ptsname(m_master);
  // The master passes bytes as they are; only the slave's settings are the
  // link's business.
  termios line{};
  tcgetattr(m_master, &line);
  cfmakeraw(&line);
  tcsetattr(m_master, TCSANOW, &line);
  if (record) m_recorder = std::thread([this] { Record(); });
}

TestPty::~TestPty() {
  CloseMaster();
  if (m_slave >= 0) close(m_slave);
}

int TestPty::SlaveFd() {
  if (m_slave < 0) m_slave = open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  return m_slave;
}

bool TestPty::Write(const Bytes& bytes) { return WriteAll(m_master, bytes.data(), bytes.size()); }

void TestPty::StartRecording() {
  if (!m_recorder.joinable()) m_recorder = std::thread([this] { Record(); });
}

void TestPty::CloseMaster() {
  if (m_recorder.joinable()) {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_recorder.join();
  }
  if (m_master >= 0) close(m_master);
  m_master = -1;
}

void TestPty::Record() {
  // Arrival times are the measurement; a real-time priority keeps the
  // recorder from waking late where the system allows it.
  sched_param priority{};
  priority.sched_priority = 10;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
  for (;;) {
    {
      std::lock_guard lock(m_mutex);
      if (m_stop) return;
    }
    pollfd entry{m_master, POLLIN, 0};
    if (poll(&entry, 1, 5) <= 0) continue;
    uint8_t buffer[256];
    const ssize_t n = (entry.revents & POLLIN) ? read(m_master, buffer, sizeof buffer) : -1;
    if (n <= 0) {
      usleep(1000);  // no slave open yet, or it hung up: nothing to record
      continue;
    }
    const auto now = Clock::now();
    std::lock_guard lock(m_mutex);
    for (ssize_t i = 0; i < n; ++i) m_arrivals.push_back({now, buffer[i]});
    if (!m_answer.empty() && m_arrivals.size() >= m_answerAfter) {
      if (write(m_master, m_answer.data(), m_answer.size()) < 0) continue;  // the test sees the missing answer
      m_answer.clear();
    }
  }
}

void TestPty::AnswerAfter(size_t afterBytes, Bytes answer) {
  std::lock_guard lock(m_mutex);
  m_answerAfter = afterBytes;
  m_answer = std::move(answer);
}

std::vector<Arrival> TestPty::Arrivals() {
  std::lock_guard lock(m_mutex);
  return m_arrivals;
}

Bytes TestPty::Received() {
  Bytes bytes;
  for (const Arrival& a : Arrivals()) bytes.push_back(a.byte);
  return bytes;
}

bool TestPty::WaitForBytes(size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Arrivals().size() < count) {
    if (Clock::now() > deadline) return false;
    usleep(500);
  }
  return true;
}

void TestPty::Clear() {
  std::lock_guard lock(m_mutex);
  m_arrivals.clear();
}

int WaitForInput(int slaveFd, int count, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  int waiting = 0;
  while (ioctl(slaveFd, FIONREAD, &waiting) == 0 && waiting < count && Clock::now() < deadline) usleep(500);
  return waiting;
}

int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
  closedir(dir);
  return count;
}

PtyClient::PtyClient(const std::string& path, bool raw) {
  m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_fd < 0 || !raw) return;
  termios line{};
  tcgetattr(m_fd, &line);
  cfmakeraw(&line);
  tcsetattr(m_fd, TCSANOW, &line);
}

PtyClient::~PtyClient() {
  if (m_fd >= 0) close(m_fd);
}

bool PtyClient::Send(const Bytes& bytes) { return WriteAll(m_fd, bytes.data(), bytes.size()); }

bool PtyClient::SendPaced(const Bytes& bytes, std::chrono::milliseconds pause) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(pause);
    if (!WriteAll(m_fd, &bytes[i], 1)) return false;
  }
  return true;
}

Bytes PtyClient::Read(size_t count, std::chrono::milliseconds window) {
  using std::chrono::milliseconds;
  Bytes got;
  const auto end = Clock::now() + window;
  while (got.size() < count) {
    const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
    if (left.count() <= 0) break;
    pollfd entry{m_fd, POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    uint8_t buffer[64];
    const ssize_t n = read(m_fd, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

}  // namespace testsupport
