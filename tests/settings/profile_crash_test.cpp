// A writer killed at any instant, or two writers at once, never leave a
// mixed or truncated profile behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <random>
#include <thread>

#include "settings/ini_document.h"
#include "settings/profile_keys.h"
#include "settings/profile_store.h"
#include "settings/profile_value.h"
#include "filled_record.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

using namespace testsupport;

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
ChildProcess StartSaver(const std::string& path, int32_t first, int32_t last) {
  return ChildProcess::Fork([&] {
    CProfileStore store(path);
    std::string error;
    for (int32_t counter = first; last < 0 || counter <= last; ++counter) {
      if (!store.Save("LED", Filled(counter), &error)) return 2;
    }
    return 0;
  });
}

size_t TemporaryCount(const TempFolder& folder) {
  size_t count = 0;
  for (const std::string& name : folder.Names()) count += name.rfind(".dimlet.ini.tmp.", 0) == 0;
  return count;
}

TEST(ProfileCrash, WriterKilledAtRandomMomentsLeavesAWholeFile) {
  TempFolder folder;
  const std::string path = folder.File("dimlet.ini");
  std::string error;
  ASSERT_TRUE(CProfileStore(path).Save("LED", Filled(0), &error)) << error;
  std::mt19937 random(std::random_device{}());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  int kills = 0;
  int32_t seen = 0;
  for (; kills < 300 && std::chrono::steady_clock::now() < deadline; ++kills) {
    // Each writer counts on from the highest value seen, so a file that went
    // back to an older save would show.
    ChildProcess saver = StartSaver(path, seen + 1, -1);
    ASSERT_TRUE(saver.Running());
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 8000));
    const int status = saver.Kill();
    ASSERT_EQ(status, 128 + SIGKILL) << "the saver stopped by itself";

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
  ASSERT_TRUE(CProfileStore(path).Save("LED", Filled(seen + 1), &error));
  EXPECT_EQ(TemporaryCount(folder), 0u);
}

TEST(ProfileCrash, TwoInstancesSavingAtOnceLeaveTheLastWholeSave) {
  TempFolder folder;
  const std::string path = folder.File("dimlet.ini");
  std::string error;
  ASSERT_TRUE(CProfileStore(path).Save("LED", Filled(0), &error)) << error;
  ChildProcess first = StartSaver(path, 1000, 1150);
  ChildProcess second = StartSaver(path, 2000, 2150);
  ASSERT_TRUE(first.Running());
  ASSERT_TRUE(second.Running());

  int running = 2;
  int reads = 0;
  while (running > 0) {
    EXPECT_GE(WholeProfileCounter(path), 0);
    ++reads;
    for (ChildProcess* saver : {&first, &second}) {
      if (std::optional<int> status = saver->Ended()) {
        EXPECT_EQ(*status, 0) << "a save failed";
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
