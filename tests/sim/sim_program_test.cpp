// The dimlet-sim program run as an operator runs it: its first line, a log
// line per frame, and a clean exit that removes its link.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "pty_client.h"
#include <gtest/gtest.h>

extern char** environ;

namespace simtest {
namespace {

// The program running with its standard output on a pipe.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int out[2];
    if (::pipe(out) != 0) return;
    args.insert(args.begin(), DIMLET_SIM_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    m_out = out[0];
  }
  ~Program() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) ::close(m_out);
  }

  // The next whole line of output, or "" if none comes within `window`.
  std::string Line(milliseconds window = milliseconds(3000)) {
    const auto end = std::chrono::steady_clock::now() + window;
    for (;;) {
      const size_t newline = m_buffer.find('\n');
      if (newline != std::string::npos) {
        std::string line = m_buffer.substr(0, newline);
        m_buffer.erase(0, newline + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{m_out, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char chunk[256];
      const ssize_t n = ::read(m_out, chunk, sizeof chunk);
      if (n <= 0) return "";
      m_buffer.append(chunk, static_cast<size_t>(n));
    }
  }

  // Sends `signal` and returns the exit status, -1 if it did not end in time.
  int StopWith(int signal) {
    ::kill(m_pid, signal);
    for (int i = 0; i < 300; ++i) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return -1;
  }

  bool Running() const { return m_pid > 0; }
  // True while the process has not ended.
  bool Alive() const { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; }
  // The reader goes away, as `head -1` does after its line.
  void CloseOutput() {
    ::close(m_out);
    m_out = -1;
  }
  void Signal(int signal) { ::kill(m_pid, signal); }

 private:
  pid_t m_pid = -1;
  int m_out = -1;
  std::string m_buffer;
};

TEST(SimProgram, PrintsWhereItIsLogsFramesAndRemovesItsLinkOnTerm) {
  TempDir dir;
  const std::string link = dir.File("com1");
  Program program({"--link", link, "--units", "0-2,5"});
  ASSERT_TRUE(program.Running());
  const std::string first = program.Line();
  std::smatch m;
  ASSERT_TRUE(std::regex_match(first, m, std::regex("dimlet-sim: units 0-2,5 on (/dev/pts/[0-9]+) \\(link (.*)\\)")))
      << first;
  EXPECT_EQ(m[2].str(), link);

  PtyClient client(link);
  ASSERT_TRUE(client.IsOpen());
  ASSERT_TRUE(client.Send({0xA2, 0x57, 1, 1, 2, 3, 4}));
  const std::string logged = program.Line();
  EXPECT_TRUE(std::regex_match(logged, std::regex("[0-9]+\\.[0-9]{3} unit 2: write row 1 = 1 2 3 4"))) << logged;
  ASSERT_TRUE(client.Send({0xA2, 0x52, 1}));
  EXPECT_EQ(client.Read(4, milliseconds(2000)), (Bytes{1, 2, 3, 4}));

  EXPECT_EQ(program.StopWith(SIGTERM), 0);
  struct stat info{};
  EXPECT_NE(::lstat(link.c_str(), &info), 0) << "the link must be gone after SIGTERM";
}

TEST(SimProgram, UsrSignalsHangUpAndReconnectBehindTheSameLink) {
  TempDir dir;
  const std::string link = dir.File("com1");
  Program program({"--link", link});
  ASSERT_FALSE(program.Line().empty());

  program.Signal(SIGUSR1);
  EXPECT_EQ(program.Line(), "dimlet-sim: hung up");
  struct stat info{};
  EXPECT_NE(::lstat(link.c_str(), &info), 0);

  program.Signal(SIGUSR2);
  const std::string reconnected = program.Line();
  EXPECT_TRUE(std::regex_match(reconnected, std::regex("dimlet-sim: reconnected on /dev/pts/[0-9]+ \\(link .*\\)")))
      << reconnected;
  PtyClient client(link);
  ASSERT_TRUE(client.IsOpen());
  ASSERT_TRUE(client.Send({0xA7, 0x52, 7}));
  EXPECT_EQ(client.Read(4, milliseconds(2000)).size(), 4u);
  EXPECT_EQ(program.StopWith(SIGTERM), 0);
}

TEST(SimProgram, InterruptEndsItCleanly) {
  Program program({});
  ASSERT_FALSE(program.Line().empty());
  EXPECT_EQ(program.StopWith(SIGINT), 0);
}

TEST(SimProgram, WrongOptionExitsWithUsageError) {
  Program program({"--answer-bytes", "7"});
  EXPECT_EQ(program.Line(), "");
  EXPECT_EQ(program.StopWith(0), 2);
}

// `dimlet-sim | head -1`: once the reader has gone the log ends, but the
// units go on answering behind the same link.
TEST(SimProgram, ClosedOutputEndsTheLogNotTheLine) {
  TempDir dir;
  const std::string link = dir.File("com1");
  Program program({"--link", link});
  ASSERT_FALSE(program.Line().empty());
  program.CloseOutput();

  PtyClient client(link);
  ASSERT_TRUE(client.IsOpen());
  for (uint8_t row = 0; row < 8; ++row) {
    ASSERT_TRUE(client.Send({0xA1, 0x57, row, row, 2, 3, 4}));
    std::this_thread::sleep_for(milliseconds(20));  // each frame a log line of its own
  }
  ASSERT_TRUE(client.Send({0xA1, 0x52, 7}));
  EXPECT_EQ(client.Read(4, milliseconds(2000)), (Bytes{7, 2, 3, 4}));
  EXPECT_TRUE(program.Alive()) << "a closed output killed the simulator";
  EXPECT_EQ(program.StopWith(SIGTERM), 0);
}

// A FIFO named as the state file would block the start for ever, with the
// signals that could end it already held back.
TEST(SimProgram, StateFileThatIsNoRegularFileIsRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = dir.File("units.state");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& state : {fifo, dir.Path()}) {
    SCOPED_TRACE(state);
    Program program({"--state", state});
    EXPECT_EQ(program.Line(), "");
    EXPECT_EQ(program.StopWith(0), 1) << "the start did not fail on its own";
  }
}

}  // namespace
}  // namespace simtest
