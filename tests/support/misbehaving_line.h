// A unit line written for the tests, apart from device/ and the simulator,
// that misbehaves as field lines do: it returns what it is sent at once,
// late or in part, sends noise without end, and answers late. It answers a
// read-row frame to unit 1 only once the frame is whole, after the line's
// latency, at the line's byte spacing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace testsupport {

struct LineHabits {
  int echoDelayMs = -1;    // -1: no echo; else every byte comes back this late
  int echoEvery = 1;       // with 2, every second byte's echo is lost
  bool babbles = false;    // 0x55 every 2 ms, whatever is sent
  int latencyMs = 0;       // answers come this late too
  std::array<uint8_t, 4> row{};  // unit 1's answer to a read of any row; no other unit is there
  int corrupt = 0;         // the echo of this byte (counted from 1) has its low bit flipped
};

class MisbehavingLine {
 public:
  // Throws std::runtime_error when no pty can be had.
  explicit MisbehavingLine(LineHabits habits);
  ~MisbehavingLine();
  MisbehavingLine(const MisbehavingLine&) = delete;
  MisbehavingLine& operator=(const MisbehavingLine&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  void Serve();

  LineHabits m_habits;
  int m_master = -1;
  std::string m_path;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

}  // namespace testsupport
