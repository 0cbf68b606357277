// The real program killed at random moments while it writes its profile (the
// write-back at start-up): the profile is always the old file or the new one,
// whole, never a mix or a truncated one.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace {

using namespace testsupport;

// A profile the program rewrote: every key of its section is there, whole.
bool IsWholeNewProfile(const std::string& text, const std::string& ports) {
  if (text.find(ports) == std::string::npos) return false;
  for (const char* key : {"Com Port Addr=1\n", "Max SQ=8\n"})
    if (text.find(key) == std::string::npos) return false;
  for (int row = 0; row < 8; ++row)
    for (int col = 0; col < 4; ++col)
      if (text.find("SEQ " + std::to_string(row) + "\\CH " + std::to_string(col) + "=128\n") == std::string::npos)
        return false;
  return true;
}

TEST(ProgramKill, KilledWhileWritingItsProfileLeavesTheOldOrTheNewFileWhole) {
  TempFolder folder;
  const std::string dir = folder.Path();
  const std::string profile = dir + "/dimlet.ini";
  const std::string ports = "[Ports]\nCom 1=" + dir + "/no-device\n";
  const std::string oldText = ports + "[Settings\\LED]\nMax SQ=8\n";

  ChildProcess::Options options;
  options.environment = {"XDG_CONFIG_HOME=" + dir, "QT_QPA_PLATFORM=offscreen"};

  std::mt19937 random(std::random_device{}());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(25);
  int runs = 0, rewritten = 0;
  for (; runs < 300 && std::chrono::steady_clock::now() < deadline; ++runs) {
    WriteFile(profile, oldText);
    ChildProcess program({DIMLET_PROGRAM}, options);
    ASSERT_TRUE(program.Running());
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 150000));
    program.Kill();

    const std::string text = ReadFile(profile);
    const bool whole = text == oldText || IsWholeNewProfile(text, ports);
    ASSERT_TRUE(whole) << "after run " << runs << " the profile reads:\n" << text;
    rewritten += text != oldText;
  }
  EXPECT_GT(rewritten, 0) << "no kill came after the write; the drill tested nothing";
  std::printf("%d runs killed, %d after the profile was rewritten\n", runs, rewritten);
}

}  // namespace
