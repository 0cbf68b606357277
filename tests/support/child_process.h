// A child process for a test: a program started with arguments and changes to
// the environment, its standard output on a pipe when asked, or a function run
// in a forked copy of the test. The child is killed and reaped, at the latest
// when the object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
 public:
  struct Options {
    // "NAME=value" entries that replace or add to the test's own environment.
    std::vector<std::string> environment;
    // Standard output to a pipe read by Line(); otherwise the test's own.
    bool captureOutput = false;
  };

  // Starts `argv[0]` with the arguments that follow. Running() is false when
  // it could not be started.
  explicit ChildProcess(std::vector<std::string> argv, Options options);
  explicit ChildProcess(std::vector<std::string> argv) : ChildProcess(std::move(argv), Options{}) {}
  // Runs `body` in a forked copy of this process, which exits with what
  // `body` returns and never comes back into the test.
  static ChildProcess Fork(const std::function<int()>& body);

  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Running() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }
  void Signal(int signal) const;

  // The next whole line of captured output, without its end; "" when none
  // comes within `window` or the output ends.
  std::string Line(std::chrono::milliseconds window = std::chrono::milliseconds(3000));

  // How a child ended, in the shell's way: its exit code, or 128 plus the
  // signal that ended it.
  // Sends `signal` (none when 0) and waits up to `timeout` for the end;
  // -1 when it is still running then.
  int StopWith(int signal, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
  // SIGKILL, then the end.
  int Kill();
  // The end if it has come, without waiting.
  std::optional<int> Ended();

 private:
  ChildProcess() = default;

  pid_t m_pid = -1;
  int m_output = -1;
  std::string m_buffer;
};

}  // namespace testsupport
