// The real program killed at random moments while it writes its profile (the
// write-back at start-up): the profile is always the old file or the new one,
// whole, never a mix or a truncated one.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

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
  char pattern[] = "/tmp/dimlet-kill-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string profile = dir + "/dimlet.ini";
  const std::string ports = "[Ports]\nCom 1=" + dir + "/no-device\n";
  const std::string oldText = ports + "[Settings\\LED]\nMax SQ=8\n";

  std::string env1 = "XDG_CONFIG_HOME=" + dir;
  std::vector<char*> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0) env.push_back(*e);
  env.push_back(env1.data());
  env.push_back(const_cast<char*>("QT_QPA_PLATFORM=offscreen"));
  env.push_back(nullptr);

  std::mt19937 random(std::random_device{}());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(25);
  int runs = 0, rewritten = 0;
  for (; runs < 300 && std::chrono::steady_clock::now() < deadline; ++runs) {
    std::ofstream(profile, std::ios::trunc) << oldText;
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(DIMLET_PROGRAM), nullptr};
    ASSERT_EQ(posix_spawn(&pid, DIMLET_PROGRAM, nullptr, nullptr, argv, env.data()), 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 150000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);

    const std::string text = ReadAll(profile);
    const bool whole = text == oldText || IsWholeNewProfile(text, ports);
    ASSERT_TRUE(whole) << "after run " << runs << " the profile reads:\n" << text;
    rewritten += text != oldText;
  }
  std::filesystem::remove_all(dir);
  EXPECT_GT(rewritten, 0) << "no kill came after the write; the drill tested nothing";
  std::printf("%d runs killed, %d after the profile was rewritten\n", runs, rewritten);
}

}  // namespace
