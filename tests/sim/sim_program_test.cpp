// The dimlet-sim program run as an operator runs it: its first line, a log
// line per frame, and a clean exit that removes its link.
#include <signal.h>
#include <sys/stat.h>

#include <cstring>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/test_pty.h"

namespace simtest {
namespace {

using std::chrono::milliseconds;
using testsupport::Bytes;
using testsupport::ChildProcess;
using testsupport::PtyClient;
using testsupport::TempFolder;

// dimlet-sim with `args`, its standard output on a pipe.
ChildProcess Program(std::vector<std::string> args) {
  args.insert(args.begin(), DIMLET_SIM_PROGRAM);
  ChildProcess::Options options;
  options.captureOutput = true;
  return ChildProcess(std::move(args), options);
}

TEST(SimProgram, PrintsWhereItIsLogsFramesAndRemovesItsLinkOnTerm) {
  TempFolder dir;
  const std::string link = dir.File("com1");
  ChildProcess program = Program({"--link", link, "--units", "0-2,5"});
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
  TempFolder dir;
  const std::string link = dir.File("com1");
  ChildProcess program = Program({"--link", link});
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

// Ctrl-C, and closing the terminal it runs in, end it as SIGTERM does.
TEST(SimProgram, InterruptAndHangUpEndItCleanlyAndRemoveItsLink) {
  for (const int signal : {SIGINT, SIGHUP}) {
    TempFolder dir;
    const std::string link = dir.File("com1");
    ChildProcess program = Program({"--link", link});
    ASSERT_FALSE(program.Line().empty());
    EXPECT_EQ(program.StopWith(signal), 0) << strsignal(signal);
    struct stat info{};
    EXPECT_NE(::lstat(link.c_str(), &info), 0) << "the link was left behind after " << strsignal(signal);
  }
}

TEST(SimProgram, WrongOptionExitsWithUsageError) {
  ChildProcess program = Program({"--answer-bytes", "7"});
  EXPECT_EQ(program.Line(), "");
  EXPECT_EQ(program.StopWith(0), 2);
}

// `dimlet-sim | head -1`: once the reader has gone the log ends, but the
// units go on answering behind the same link. The simulator keeps the pid
// that bash started, so the test ends it as any other.
TEST(SimProgram, ClosedOutputEndsTheLogNotTheLine) {
  TempFolder dir;
  const std::string link = dir.File("com1");
  ChildProcess::Options options;
  options.captureOutput = true;
  ChildProcess program({"/bin/bash", "-c", std::string("exec \"$0\" --link \"$1\" > >(head -1)"),
                        DIMLET_SIM_PROGRAM, link},
                       options);
  ASSERT_FALSE(program.Line().empty());

  PtyClient client(link);
  ASSERT_TRUE(client.IsOpen());
  for (uint8_t row = 0; row < 8; ++row) {
    ASSERT_TRUE(client.Send({0xA1, 0x57, row, row, 2, 3, 4}));
    std::this_thread::sleep_for(milliseconds(20));  // each frame a log line of its own
  }
  ASSERT_TRUE(client.Send({0xA1, 0x52, 7}));
  EXPECT_EQ(client.Read(4, milliseconds(2000)), (Bytes{7, 2, 3, 4}));
  EXPECT_FALSE(program.Ended().has_value()) << "a closed output ended the simulator";
  EXPECT_EQ(program.StopWith(SIGTERM), 0);
}

// A FIFO named as the state file would block the start for ever, with the
// signals that could end it already held back.
TEST(SimProgram, StateFileThatIsNoRegularFileIsRefusedAtOnce) {
  TempFolder dir;
  const std::string fifo = dir.File("units.state");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& state : {fifo, dir.Path()}) {
    SCOPED_TRACE(state);
    ChildProcess program = Program({"--state", state});
    EXPECT_EQ(program.Line(), "");
    EXPECT_EQ(program.StopWith(0), 1) << "the start did not fail on its own";
  }
}

}  // namespace
}  // namespace simtest
