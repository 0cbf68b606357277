// A writer killed at any instant, or two writers at once, never leave a
// mixed or truncated profile behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "settings/ini_document.h"
#include "settings/profile_keys.h"
#include "settings/profile_store.h"
#include "settings/profile_value.h"
#include "test_files.h"

namespace {

// Every save writes one counter into all 35 keys; a whole file therefore
// holds the same counter in each. Returns that counter, or -1 with a failure.
int32_t WholeProfileCounter(const std::string& path) {
  CIniDocument profile(ReadFile(path));
  int32_t counter = -1;
  for (const ProfileKey& key : ProfileKeys()) {
    std::optional<std::string_view> text = profile.Value("Settings\\LED", key.name);
    std::optional<int32_t> value = text ? ParseProfileInt(*text) : std::nullopt;
    EXPECT_TRUE(value.has_value()) << "key " << key.name << " missing or cut";
    if (!value) return -1;
    if (counter == -1) counter = *value;
    EXPECT_EQ(*value, counter) << "key " << key.name << " from another save";
    if (*value != counter) return -1;
  }
  return counter;
}

// Saves counters first..last (forever when last is negative), then exits.
pid_t StartSaver(const std::string& path, int32_t first, int32_t last) {
  pid_t child = fork();
  if (child != 0) return child;
  CProfileStore store(path);
  for (int32_t counter = first; last < 0 || counter <= last; ++counter) {
    if (!store.Save("LED", Filled(counter))) _exit(2);
  }
  _exit(0);
}

size_t TemporaryCount(const CTempFolder& folder) {
  size_t count = 0;
  for (const std::string& name : folder.Names()) count += name.rfind(".dimlet.ini.tmp.", 0) == 0;
  return count;
}

TEST(ProfileCrash, WriterKilledAtRandomMomentsLeavesAWholeFile) {
  CTempFolder folder;
  const std::string path = folder.File("dimlet.ini");
  ASSERT_TRUE(CProfileStore(path).Save("LED", Filled(0)));
  std::mt19937 random(std::random_device{}());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  int kills = 0;
  int32_t seen = 0;
  for (; kills < 300 && std::chrono::steady_clock::now() < deadline; ++kills) {
    // Each writer counts on from the highest value seen, so a file that went
    // back to an older save would show.
    pid_t child = StartSaver(path, seen + 1, -1);
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 8000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself with status " << status;

    int32_t counter = WholeProfileCounter(path);
    ASSERT_GE(counter, seen) << "after kill " << kills;
    seen = counter;
    // A killed writer leaves at most its own temporary; the next one sweeps it.
    ASSERT_LE(TemporaryCount(folder), 1u) << "after kill " << kills;
  }
  RecordProperty("kills", kills);
  RecordProperty("last_whole_save", seen);
  EXPECT_GE(kills, 100);
  EXPECT_GT(seen, 0) << "no save ever finished before its kill";
  ASSERT_TRUE(CProfileStore(path).Save("LED", Filled(seen + 1)));
  EXPECT_EQ(TemporaryCount(folder), 0u);
}

TEST(ProfileCrash, TwoInstancesSavingAtOnceLeaveTheLastWholeSave) {
  CTempFolder folder;
  const std::string path = folder.File("dimlet.ini");
  ASSERT_TRUE(CProfileStore(path).Save("LED", Filled(0)));
  pid_t first = StartSaver(path, 1000, 1150);
  pid_t second = StartSaver(path, 2000, 2150);
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);

  int running = 2;
  int reads = 0;
  while (running > 0) {
    EXPECT_GE(WholeProfileCounter(path), 0);
    ++reads;
    for (pid_t* child : {&first, &second}) {
      int status = 0;
      if (*child > 0 && waitpid(*child, &status, WNOHANG) == *child) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
        *child = -1;
        --running;
      }
    }
  }
  int32_t last = WholeProfileCounter(path);
  EXPECT_TRUE(last == 1150 || last == 2150) << last;
  EXPECT_EQ(TemporaryCount(folder), 0u);
  EXPECT_GT(reads, 1);
}

}  // namespace
