// A program of this build run as its own process, for the tests of what
// happens around the window: command lines, signals, the demo. Unlike the
// shared testsupport::ChildProcess it also reads standard error, can take
// variables out of the environment (a test without a display) and runs the
// program in a process group of its own (a script and the programs it starts,
// signalled together as a terminal does).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

class ChildProgram {
 public:
  // Starts `argv[0]` with the rest as its arguments, in this process's
  // environment changed by `env` (a value of "" removes the variable), in a
  // process group of its own.
  ChildProgram(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
  ~ChildProgram();  // kills the group if still running
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  bool Started() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }
  // Sends `signal` to the program, or to its whole process group.
  void Signal(int signal, bool wholeGroup = false);
  // Waits for the end; the exit code, 128 + n for a death by signal n, or -1
  // when it has not ended within `limit`.
  int Wait(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Reads standard output until it contains `text` or `limit` passes;
  // true if found.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Everything read so far (Wait() reads the rest).
  const std::string& Out() const { return m_out; }
  const std::string& Err() const { return m_err; }

 private:
  void Drain(int timeoutMs);

  pid_t m_pid = -1;
  int m_outFd = -1;
  int m_errFd = -1;
  std::string m_out;
  std::string m_err;
};
