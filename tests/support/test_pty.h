// Real pseudo-terminals for the tests, from either end.
//   TestPty: the test makes the pair and holds the master, as a unit line
//     would; the program under test opens the slave. Bytes it writes are
//     recorded with their arrival times by a thread on the master, and the
//     test can answer through the master.
//   PtyClient: the test opens the slave of a pair made by someone else (the
//     simulator), raw, as a program opens its serial device.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

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
  bool Write(const Bytes& bytes);
  void CloseMaster();
  // Starts recording on a pty made without it: the master is read from now on.
  void StartRecording();
  // Has the recorder write `answer` into the master as soon as `afterBytes`
  // bytes in all have arrived: a unit answering at once.
  void AnswerAfter(size_t afterBytes, Bytes answer);

  // Everything that has arrived at the master so far.
  std::vector<Arrival> Arrivals();
  Bytes Received();
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
  Bytes m_answer;
  bool m_stop = false;
  std::thread m_recorder;
};

class PtyClient {
 public:
  // O_RDWR | O_NOCTTY; made raw unless `raw` is false (then the settings
  // are left as the line has them).
  explicit PtyClient(const std::string& path, bool raw = true);
  ~PtyClient();
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool IsOpen() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }

  // Writes all bytes; false if a write fails.
  bool Send(const Bytes& bytes);
  // Writes one byte at a time with `pause` between them, as the program does.
  bool SendPaced(const Bytes& bytes, std::chrono::milliseconds pause);
  // Collects bytes until `count` have come or `window` has passed.
  Bytes Read(size_t count, std::chrono::milliseconds window);

 private:
  int m_fd = -1;
};

// Number of bytes waiting on a slave descriptor, after waiting up to
// `timeout` for at least `count` (the pty moves bytes on a kernel worker).
int WaitForInput(int slaveFd, int count, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

// Open descriptors of this process.
int OpenDescriptorCount();

}  // namespace testsupport
