// The misbehaving line's far end: a thread on the pty master that keeps what
// it owes the line in time order.
#include "support/misbehaving_line.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <stdexcept>
#include <vector>

namespace testsupport {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

MisbehavingLine::MisbehavingLine(LineHabits habits) : m_habits(habits) {
  int slave = -1;
  char name[128] = {};
  if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("no pty");
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  close(slave);
  m_path = name;
  m_thread = std::thread([this] { Serve(); });
}

MisbehavingLine::~MisbehavingLine() {
  m_stop = true;
  m_thread.join();
  close(m_master);
}

void MisbehavingLine::Serve() {
  std::vector<uint8_t> seen;
  std::multimap<Clock::time_point, uint8_t> due;
  auto nextBabble = Clock::now();
  while (!m_stop) {
    const auto now = Clock::now();
    while (!due.empty() && due.begin()->first <= now) {
      (void)!write(m_master, &due.begin()->second, 1);
      due.erase(due.begin());
    }
    if (m_habits.babbles && now >= nextBabble) {
      const uint8_t noise = 0x55;
      (void)!write(m_master, &noise, 1);
      nextBabble = now + milliseconds(2);
    }
    pollfd entry{m_master, POLLIN, 0};
    if (poll(&entry, 1, 1) <= 0 || !(entry.revents & POLLIN)) continue;
    uint8_t byte = 0;
    if (read(m_master, &byte, 1) != 1) continue;
    const auto at = Clock::now();
    seen.push_back(byte);
    const size_t n = seen.size();
    if (m_habits.echoDelayMs >= 0 && n % static_cast<size_t>(m_habits.echoEvery) == 0) {
      const uint8_t echo = static_cast<int>(n) == m_habits.corrupt ? byte ^ 1 : byte;
      due.emplace(at + milliseconds(m_habits.echoDelayMs), echo);
    }
    if (n >= 3 && seen[n - 3] == 0xA1 && seen[n - 2] == 0x52 && seen[n - 1] < 8) {
      const auto start = at + milliseconds(std::max(m_habits.echoDelayMs, m_habits.latencyMs) + 1);
      for (size_t k = 0; k < 4; ++k) due.emplace(start + std::chrono::microseconds(1042 * k), m_habits.row[k]);
    }
  }
}

}  // namespace testsupport
