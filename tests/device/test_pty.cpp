// TestPty: a real pseudo-terminal pair and a recorder of the master side.
#include "test_pty.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

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

bool TestPty::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

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

void TestPty::AnswerAfter(size_t afterBytes, std::vector<uint8_t> answer) {
  std::lock_guard lock(m_mutex);
  m_answerAfter = afterBytes;
  m_answer = std::move(answer);
}

std::vector<Arrival> TestPty::Arrivals() {
  std::lock_guard lock(m_mutex);
  return m_arrivals;
}

std::vector<uint8_t> TestPty::Received() {
  std::vector<uint8_t> bytes;
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
