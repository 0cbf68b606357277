// The dimlet-cli test world: profile folder, simulated line, child process.
#include "cli_fixture.h"

#include "support/files.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace {

struct timespec ModifiedAt(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mtim;
}

}  // namespace

CliChild::CliChild(const std::vector<std::string>& args, const std::string& configHome, const std::string& input,
                   bool errOnTerminal) {
  std::vector<std::string> argv(1, DIMLET_CLI_PROGRAM);
  argv.insert(argv.end(), args.begin(), args.end());
  Start(std::move(argv), configHome, input, errOnTerminal, false);
}

std::unique_ptr<CliChild> CliChild::Shell(const std::string& script, const std::string& configHome, bool holdInput) {
  std::unique_ptr<CliChild> child(new CliChild());
  child->Start({"/bin/bash", "-c", "cd \"$HOME\" && " + script}, configHome, "", false, holdInput);
  return child;
}

void CliChild::CloseInput() {
  if (m_in >= 0) close(m_in);
  m_in = -1;
}

void CliChild::Start(std::vector<std::string> argv_text, const std::string& configHome, const std::string& input,
                     bool errOnTerminal, bool holdInput) {
  int out[2], err[2], in[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) return;
  if (errOnTerminal) {
    if (openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0) return;
    fcntl(err[0], F_SETFD, FD_CLOEXEC);
    fcntl(err[1], F_SETFD, FD_CLOEXEC);
  } else if (pipe2(err, O_CLOEXEC) != 0) {
    return;
  }
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text;
  for (const char* name : {"XDG_CONFIG_HOME=", "HOME="}) env_text.push_back(name + configHome);
  env_text.push_back("LANG=C.UTF-8");
  env_text.push_back("PATH=/usr/bin:/bin");
  env_text.push_back("CLI=" DIMLET_CLI_PROGRAM);
  std::vector<char*> env;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), env.data()) != 0) m_pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  close(in[0]);
  // Small inputs only: the pipe holds them whole before the child reads.
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0) ADD_FAILURE() << "could not feed the input";
  if (holdInput) {
    m_in = in[1];
  } else {
    close(in[1]);
  }
  m_out = out[0];
  m_err = err[0];
}

CliChild::~CliChild() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  if (m_out >= 0) close(m_out);
  if (m_err >= 0) close(m_err);
  CloseInput();
}

void CliChild::Signal(int signal) const {
  if (m_pid > 0) kill(m_pid, signal);
}

CliResult CliChild::Wait() {
  CliResult result;
  if (m_pid <= 0) return result;
  // Generous: eight units written and read back take about five seconds.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool outOpen = true, errOpen = true;
  while ((outOpen || errOpen) && std::chrono::steady_clock::now() < end) {
    pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    if (poll(fds, 2, 200) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n <= 0) {
        (i == 0 ? outOpen : errOpen) = false;
        continue;
      }
      (i == 0 ? result.out : result.err).append(chunk, static_cast<size_t>(n));
    }
  }
  int status = 0;
  for (int i = 0; i < 500; ++i) {
    rusage usage{};
    if (wait4(m_pid, &status, WNOHANG, &usage) == m_pid) {
      m_pid = -1;
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      result.peakKb = usage.ru_maxrss;
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return result;
}

void CliTest::TearDown() {
  if (!m_profileBefore.empty()) {
    EXPECT_EQ(testsupport::ReadFile(m_profilePath), m_profileBefore) << "the profile was changed";
    const struct timespec now = ModifiedAt(m_profilePath);
    EXPECT_TRUE(now.tv_sec == m_profileTime.tv_sec && now.tv_nsec == m_profileTime.tv_nsec)
        << "the profile was written";
  }
  m_sim.reset();
}

void CliTest::StartSim(sim::SimOptions options) {
  if (m_sim) return;
  options.linkPath = m_dir + "/units";
  m_sim = std::make_unique<sim::SimLine>(options);
  std::string error;
  ASSERT_TRUE(m_sim->Start(&error)) << error;
}

void CliTest::WriteProfile(const std::string& text) {
  StartSim();
  // Com 1 waits for answers as a line on a busy machine would be set to: the
  // tests share two cores with the simulator, and answer timing is not theirs
  // to check.
  m_profileBefore = text + "\n[Ports]\nCom 1=" + m_dir + "/units\nCom 1 Answer Wait=30\nCom 2=" + m_dir +
                    "/nothing-here\n";
  testsupport::WriteFile(m_profilePath, m_profileBefore);
  m_profileTime = ModifiedAt(m_profilePath);
}

CliResult CliTest::Run(const std::vector<std::string>& args, const std::string& input, bool errOnTerminal) {
  if (m_profileBefore.empty()) WriteProfile();
  CliChild child(args, m_dir, input, errOnTerminal);
  return child.Wait();
}

CliResult CliTest::RunShell(const std::string& script) {
  if (m_profileBefore.empty()) WriteProfile();
  return CliChild::Shell(script, m_dir)->Wait();
}

std::string CliTest::File(const std::string& name, const std::string& text) {
  const std::string path = m_folder.File(name);
  testsupport::WriteFile(path, text);
  return path;
}

std::vector<std::vector<uint8_t>> CliTest::Frames() {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::vector<std::vector<uint8_t>> frames;
  for (const sim::FrameRecord& record : m_sim->Frames()) frames.push_back(record.bytes);
  return frames;
}

Frame WriteRowFrame(int unit, int row, int ch1, int ch2, int ch3, int ch4) {
  return {static_cast<uint8_t>(0xA0 | unit), 0x57, static_cast<uint8_t>(row), static_cast<uint8_t>(ch1),
          static_cast<uint8_t>(ch2),         static_cast<uint8_t>(ch3), static_cast<uint8_t>(ch4)};
}

Frame ReadRowFrame(int unit, int row) { return {static_cast<uint8_t>(0xA0 | unit), 0x52, static_cast<uint8_t>(row)}; }
