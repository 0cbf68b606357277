// A pseudo-terminal for the link tests: the test holds the master side, the
// link opens the slave. Bytes the link writes are recorded with their arrival
// times by a thread on the master; the test can answer through the master.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

struct Arrival {
  Clock::time_point at;
  uint8_t byte;
};

class TestPty {
 public:
  // Without `record` nobody reads the master, so the line fills up.
  // Throws std::runtime_error when no pty can be had.
  explicit TestPty(bool record = true);
  ~TestPty();
  TestPty(const TestPty&) = delete;
  TestPty& operator=(const TestPty&) = delete;

  const std::string& SlavePath() const { return m_slavePath; }
  // A second descriptor on the slave, opened now, for looking at the line as
  // the link leaves it; closed with the pty.
  int SlaveFd();
  // Writes into the master as the unit would; false when it could not.
  bool Write(const std::vector<uint8_t>& bytes);
  void CloseMaster();
  // Starts recording on a pty made without it: the master is read from now on.
  void StartRecording();
  // Has the recorder write `answer` into the master as soon as `afterBytes`
  // bytes in all have arrived: a unit answering at once.
  void AnswerAfter(size_t afterBytes, std::vector<uint8_t> answer);

  // Everything that has arrived at the master so far.
  std::vector<Arrival> Arrivals();
  std::vector<uint8_t> Received();
  // Waits until `count` bytes have arrived, at most `timeout`.
  bool WaitForBytes(size_t count, std::chrono::milliseconds timeout);
  void Clear();

 private:
  void Record();

  int m_master = -1;
  int m_slave = -1;
  std::string m_slavePath;
  std::mutex m_mutex;
  std::vector<Arrival> m_arrivals;
  size_t m_answerAfter = 0;
  std::vector<uint8_t> m_answer;
  bool m_stop = false;
  std::thread m_recorder;
};

// Number of bytes waiting on a slave descriptor, after waiting up to
// `timeout` for at least `count` (the pty moves bytes on a kernel worker).
int WaitForInput(int slaveFd, int count, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

// Open descriptors of this process.
int OpenDescriptorCount();
