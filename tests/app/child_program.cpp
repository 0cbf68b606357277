// Running a child program with pipes on its output.
#include "child_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

extern char** environ;

ChildProgram::ChildProgram(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (!env.count(entry.substr(0, entry.find('=')))) envText.push_back(entry);
  }
  for (const auto& [name, value] : env)
    if (!value.empty()) envText.push_back(name + "=" + value);
  std::vector<char*> envp, args;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argText = argv;
  for (std::string& a : argText) args.push_back(a.data());
  args.push_back(nullptr);

  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  if (::posix_spawn(&m_pid, args[0], &actions, &attributes, args.data(), envp.data()) != 0) m_pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  m_outFd = out[0];
  m_errFd = err[0];
}

ChildProgram::~ChildProgram() {
  if (m_pid > 0) {
    ::kill(-m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
  if (m_outFd >= 0) ::close(m_outFd);
  if (m_errFd >= 0) ::close(m_errFd);
}

void ChildProgram::Signal(int signal, bool wholeGroup) {
  if (m_pid > 0) ::kill(wholeGroup ? -m_pid : m_pid, signal);
}

void ChildProgram::Drain(int timeoutMs) {
  pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
  if (::poll(fds, 2, timeoutMs) <= 0) return;
  std::string* sinks[2] = {&m_out, &m_err};
  int* fdOf[2] = {&m_outFd, &m_errFd};
  for (int i = 0; i < 2; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
    char chunk[4096];
    const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
    if (n > 0) {
      sinks[i]->append(chunk, static_cast<size_t>(n));
    } else {
      ::close(*fdOf[i]);
      *fdOf[i] = -1;  // poll ignores a negative descriptor
    }
  }
}

int ChildProgram::Wait(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (m_pid > 0 && std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      while (m_outFd >= 0 || m_errFd >= 0) Drain(1000);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    Drain(10);
  }
  return -1;
}

bool ChildProgram::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (m_out.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= end || (m_outFd < 0 && m_errFd < 0)) return false;
    Drain(20);
  }
  return true;
}
