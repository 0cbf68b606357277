// The real program ended by the signals a session or a terminal sends: it ends
// as Exit does, with its profile whole and the port free for the next one.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "child_program.h"
#include "sim/sim_line.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace {

// Whether the terminal is still in exclusive mode. Root may open it even
// then, so the mode is asked for rather than tried.
bool IsExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  int exclusive = 0;
  const bool asked = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0;
  ::close(fd);
  return !asked || exclusive != 0;
}

int CountSettingsKeys(const std::string& text) {
  int keys = 0;
  for (size_t at = text.find("\nSEQ "); at != std::string::npos; at = text.find("\nSEQ ", at + 1)) ++keys;
  return keys;
}

struct SignalCase {
  const char* name;
  int signal;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class ProgramSignals : public testing::TestWithParam<SignalCase> {};

TEST_P(ProgramSignals, EndLikeExitSoTheNextInstanceOpensThePort) {
  testsupport::TempFolder dir;
  sim::SimOptions options;
  options.linkPath = dir.File("com1");
  sim::SimLine line(options);
  ASSERT_TRUE(line.Start());
  const std::string profile = dir.File("dimlet.ini");
  testsupport::WriteFile(profile, "[Ports]\nCom 1=" + options.linkPath + "\n[Settings\\LED]\nSEQ 2\\CH 1=77\n");
  const std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", dir.Path()},
                                                  {"QT_QPA_PLATFORM", "offscreen"}};

  for (int instance = 0; instance < 2; ++instance) {
    line.ClearRecords();
    ChildProgram program({DIMLET_PROGRAM}, env);
    ASSERT_TRUE(program.Started());
    // The start-up frame: the port is open and the start-up save is on its way.
    ASSERT_TRUE(line.WaitForFrames(1, std::chrono::seconds(10))) << "instance " << instance << " sent nothing";
    program.Signal(GetParam().signal);
    EXPECT_EQ(program.Wait(), 0) << "instance " << instance << ": " << program.Err();

    EXPECT_FALSE(IsExclusive(line.SlavePath())) << "instance " << instance << " left the port exclusive";
    const std::string text = testsupport::ReadFile(profile);
    EXPECT_EQ(CountSettingsKeys(text), 32) << text;
    EXPECT_NE(text.find("SEQ 2\\CH 1=77\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Com 1=" + options.linkPath), std::string::npos) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramSignals,
                         testing::Values(SignalCase{"Term", SIGTERM}, SignalCase{"Interrupt", SIGINT},
                                         SignalCase{"HangUp", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
