// dimlet and dimlet-sim asked for their help or version, or given something
// they do not know: an answer and an exit code, with no display, no profile
// written and nothing on the line.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "child_program.h"
#include "sim/sim_line.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace {

struct CommandLineCase {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
  const char* out;  // standard output starts with this
  const char* err;  // standard error contains this
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class DimletCommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(DimletCommandLine, AnswersWithoutDisplayProfileOrLine) {
  const CommandLineCase& c = GetParam();
  testsupport::TempFolder dir;
  sim::SimOptions options;
  options.linkPath = dir.File("com1");
  sim::SimLine line(options);
  ASSERT_TRUE(line.Start());
  const std::string profile = dir.File("dimlet.ini");
  const std::string profileText = "[Ports]\nCom 1=" + options.linkPath + "\n[Settings\\LED]\nMax SQ=3\n";
  testsupport::WriteFile(profile, profileText);

  std::vector<std::string> argv = {DIMLET_PROGRAM};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  std::replace(argv.begin(), argv.end(), std::string("PROFILE"), profile);
  ChildProgram program(argv, {{"XDG_CONFIG_HOME", dir.Path()},
                              {"DISPLAY", ""},
                              {"WAYLAND_DISPLAY", ""},
                              {"QT_QPA_PLATFORM", ""}});
  ASSERT_TRUE(program.Started());
  EXPECT_EQ(program.Wait(), c.exitCode) << program.Err();
  EXPECT_EQ(program.Out().rfind(c.out, 0), 0u) << program.Out();
  EXPECT_NE(program.Err().find(c.err), std::string::npos) << program.Err();

  EXPECT_EQ(testsupport::ReadFile(profile), profileText) << "the profile was touched";
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"com1", "dimlet.ini"})) << "a file appeared beside the profile";
  line.Stop();
  EXPECT_TRUE(line.ReceivedBytes().empty()) << "something reached the line";
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, DimletCommandLine,
    testing::Values(
        CommandLineCase{"HelpOpensNoWindow", {"--help"}, 0, "Usage: dimlet", ""},
        CommandLineCase{"ShortHelp", {"-h"}, 0, "Usage: dimlet", ""},
        CommandLineCase{"VersionOpensNoWindow", {"--version"}, 0, "dimlet 1.0", ""},
        CommandLineCase{"ShortVersion", {"-V"}, 0, "dimlet 1.0", ""},
        CommandLineCase{"HelpWinsOverWhatFollows", {"--help", "--bogus"}, 0, "Usage: dimlet", ""},
        CommandLineCase{"UnknownOptionIsAUsageError", {"--bogus"}, 2, "", "unknown option \"--bogus\""},
        CommandLineCase{"QtOptionIsNotTakenSilently", {"-platform", "offscreen"}, 2, "", "unknown option"},
        CommandLineCase{"StrayArgumentIsAUsageError", {"profile.ini"}, 2, "", "unexpected argument"},
        CommandLineCase{"TraceWithoutFile", {"--trace"}, 2, "", "--trace needs a file"},
        CommandLineCase{"UnwritableTraceRefusedBeforeTheWindow", {"--trace=/nonexistent/trace"}, 2, "",
                        "cannot write the trace: /nonexistent/trace: No such file"},
        CommandLineCase{"TraceOverTheProfileRefused", {"--trace", "PROFILE"}, 2, "",
                        "dimlet.ini: the profile; the trace would replace it"}),
    [](const auto& info) { return std::string(info.param.name); });

// The window's start-up frame in the trace, one line per byte with the
// device, in a file or on standard error.
class DimletTrace : public testing::TestWithParam<bool> {};

TEST_P(DimletTrace, StartUpFrameIsTracedByteByByte) {
  const bool toFile = GetParam();
  testsupport::TempFolder dir;
  sim::SimOptions options;
  options.linkPath = dir.File("com1");
  sim::SimLine line(options);
  ASSERT_TRUE(line.Start());
  testsupport::WriteFile(dir.File("dimlet.ini"), "[Ports]\nCom 1=" + options.linkPath + "\n");
  const std::string trace = toFile ? dir.File("trace.txt") : "-";
  ChildProgram program({DIMLET_PROGRAM, "--trace", trace},
                       {{"XDG_CONFIG_HOME", dir.Path()}, {"QT_QPA_PLATFORM", "offscreen"}});
  ASSERT_TRUE(line.WaitForFrames(1, std::chrono::seconds(10))) << program.Err();
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0) << program.Err();

  const std::string text = toFile ? testsupport::ReadFile(trace) : program.Err();
  // The highest sequence to unit 0: a0 'W' 'Q' and its value.
  const std::vector<std::string> bytes = {"a0", "57", "51"};
  size_t at = 0;
  for (const std::string& byte : bytes) {
    at = text.find(" sent " + byte + " " + options.linkPath + "\n", at);
    ASSERT_NE(at, std::string::npos) << byte << " not traced in:\n" << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Destinations, DimletTrace, testing::Values(true, false),
                         [](const auto& info) { return std::string(info.param ? "File" : "StandardError"); });

TEST(SimCommandLine, VersionAndHelpNeedNoTerminal) {
  for (const char* option : {"--version", "-V"}) {
    ChildProgram version({DIMLET_SIM_PROGRAM, option}, {});
    EXPECT_EQ(version.Wait(), 0) << option;
    EXPECT_EQ(version.Out().rfind("dimlet-sim 1.0", 0), 0u) << version.Out();
  }
  ChildProgram help({DIMLET_SIM_PROGRAM, "--help", "--units", "9"}, {});
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_NE(help.Out().find("--version"), std::string::npos);
  ChildProgram wrong({DIMLET_SIM_PROGRAM, "--versoin"}, {});
  EXPECT_EQ(wrong.Wait(), 2);
}

}  // namespace
