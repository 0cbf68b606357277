// `make run`'s script: whatever the last demo chose or left in its profile, the
// next one starts Dimlet on the simulated line.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "child_program.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace {

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

struct DemoCase {
  const char* name;
  const char* profile;  // what earlier demos left; "" for none
};

void PrintTo(const DemoCase& c, std::ostream* os) { *os << c.name; }

class Demo : public testing::TestWithParam<DemoCase> {};

TEST_P(Demo, StartsOnTheSimulatorAndKeepsTheSequences) {
  testsupport::TempFolder dir;
  std::filesystem::create_directories(dir.File("config"));
  const std::string profile = dir.File("config/dimlet.ini");
  if (*GetParam().profile) testsupport::WriteFile(profile, GetParam().profile);

  ChildProgram demo({DEMO_SCRIPT, DIMLET_BUILD_DIR},
                    {{"DIMLET_DEMO_DIR", dir.Path()}, {"QT_QPA_PLATFORM", "offscreen"}});
  ASSERT_TRUE(demo.Started());
  // The simulator logs Dimlet's start-up frame only if Dimlet opened it.
  EXPECT_TRUE(demo.WaitForOutput("unit 0: set highest sequence", std::chrono::seconds(15)))
      << demo.Out() << demo.Err();
  demo.Signal(SIGTERM, true);
  EXPECT_EQ(demo.Wait(std::chrono::seconds(15)), 0) << demo.Err();

  const std::string text = testsupport::ReadFile(profile);
  EXPECT_EQ(Count(text, "[Ports]"), 1) << text;
  EXPECT_EQ(Count(text, "Com 1=" + dir.File("com1") + "\n"), 1) << text;
  EXPECT_NE(text.find("Com Port Addr=1\n"), std::string::npos) << text;
  if (Count(GetParam().profile, "SEQ 4\\CH 2=17")) {
    EXPECT_EQ(Count(text, "SEQ 4\\CH 2=17\n"), 1) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    EarlierRuns, Demo,
    testing::Values(DemoCase{"FirstRun", ""},
                    DemoCase{"LastDemoChoseCom2",
                             "[Settings\\LED]\nCom Port Addr=2\nSEQ 4\\CH 2=17\n[Ports]\nCom 1=/old/checkout/demo/com1\n"},
                    DemoCase{"PortsBeforeSettings",
                             "[Ports]\nCom 1=/gone\nCom 2=/dev/ttyUSB1\n[Settings\\LED]\nCom Port Addr=4\nSEQ 4\\CH 2=17\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
