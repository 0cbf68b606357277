// Child processes for tests.
#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace testsupport {
namespace {

int StatusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, Options options) {
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    bool replaced = false;
    for (const std::string& change : options.environment) replaced = replaced || NameOf(change) == NameOf(*e);
    if (!replaced) environment.emplace_back(*e);
  }
  environment.insert(environment.end(), options.environment.begin(), options.environment.end());
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<char*> env;
  for (std::string& e : environment) env.push_back(e.data());
  env.push_back(nullptr);

  int out[2] = {-1, -1};
  if (options.captureOutput && pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.captureOutput) posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), env.data()) != 0) m_pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (options.captureOutput) {
    close(out[1]);
    m_output = out[0];
  }
}

ChildProcess ChildProcess::Fork(const std::function<int()>& body) {
  ChildProcess child;
  child.m_pid = fork();
  if (child.m_pid == 0) _exit(body());
  return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(other.m_pid), m_output(other.m_output), m_buffer(std::move(other.m_buffer)) {
  other.m_pid = -1;
  other.m_output = -1;
}

ChildProcess::~ChildProcess() {
  if (m_pid > 0) Kill();
  if (m_output >= 0) close(m_output);
}

void ChildProcess::Signal(int signal) const {
  if (m_pid > 0) kill(m_pid, signal);
}

std::string ChildProcess::Line(std::chrono::milliseconds window) {
  const auto end = std::chrono::steady_clock::now() + window;
  for (;;) {
    const size_t newline = m_buffer.find('\n');
    if (newline != std::string::npos) {
      std::string line = m_buffer.substr(0, newline);
      m_buffer.erase(0, newline + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    pollfd p{m_output, POLLIN, 0};
    if (m_output < 0 || left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
    char chunk[256];
    const ssize_t n = read(m_output, chunk, sizeof chunk);
    if (n <= 0) return "";
    m_buffer.append(chunk, static_cast<size_t>(n));
  }
}

int ChildProcess::StopWith(int signal, std::chrono::milliseconds timeout) {
  if (m_pid <= 0) return -1;
  if (signal != 0) kill(m_pid, signal);
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (std::optional<int> status = Ended()) return *status;
    if (std::chrono::steady_clock::now() > end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

int ChildProcess::Kill() { return StopWith(SIGKILL); }

std::optional<int> ChildProcess::Ended() {
  if (m_pid <= 0) return std::nullopt;
  int status = 0;
  if (waitpid(m_pid, &status, WNOHANG) != m_pid) return std::nullopt;
  m_pid = -1;
  return StatusOf(status);
}

}  // namespace testsupport
