// Saves that cannot reach the disk: the old file stays whole, the caller is
// told why, and the record is not disturbed. Root ignores permission bits, so
// a read-only folder is made immutable (chattr +i) when running as root, and a
// full disk is a small tmpfs (both from the test support library).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "settings/profile_store.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "support/write_fixtures.h"

using namespace testsupport;

namespace {

const std::string kOldProfile = "[Ports]\nCom 1=/dev/ttyS0\n[Settings\\LED]\nMax SQ=3\n";

// A folder holding a profile, which writes to the folder cannot change.
class ReadOnlyProfileFolder : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(path, kOldProfile);
    readOnly.emplace(folder.Path());
    if (!readOnly->Made()) GTEST_SKIP() << readOnly->WhyNot();
  }

  TempFolder folder;
  std::string path = folder.File("dimlet.ini");
  std::optional<ReadOnlyFolder> readOnly;
  std::string error;
};

TEST_F(ReadOnlyProfileFolder, SaveFailsWithTheSystemReasonAndKeepsTheOldFile) {
  LedSettings settings;
  settings.seq.FillAll(9);
  const LedSettings before = settings;
  CProfileStore store(path);
  EXPECT_FALSE(store.Save("LED", settings, &error));
  EXPECT_NE(error.find("temporary file"), std::string::npos) << error;
  EXPECT_TRUE(error.find(std::strerror(EPERM)) != std::string::npos ||
              error.find(std::strerror(EACCES)) != std::string::npos)
      << error;
  EXPECT_EQ(ReadFile(path), kOldProfile);
  EXPECT_EQ(settings.seq.cells, before.seq.cells);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"dimlet.ini"});
}

// Marked read-only, a profile is refused as writing it in place would be:
// never replaced by one without the mark, nor the old one left beside it.
TEST(ReadOnlyProfile, SaveIsRefusedAndLeavesNothingBeside) {
  TempFolder folder;
  const std::string path = folder.File("dimlet.ini");
  WriteFile(path, kOldProfile);
  ASSERT_TRUE(MarkReadOnly(path, true));
  LedSettings settings;
  settings.seq.FillAll(9);
  CProfileStore store(path);
  std::string error;
  EXPECT_FALSE(store.Save("LED", settings, &error));
  EXPECT_NE(error.find(": it is read-only"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(path), kOldProfile);
  // Beside it at most the lock two savers take turns by, where the system
  // keeps it in a file of its own (Windows).
  std::vector<std::string> names = folder.Names();
  std::erase(names, std::string(".dimlet-lock"));
  EXPECT_EQ(names, std::vector<std::string>{"dimlet.ini"});
  MarkReadOnly(path, false);  // for the folder's removal on Windows
}

TEST_F(ReadOnlyProfileFolder, LoadStillFillsTheRecordWhenTheWriteBackFails) {
  LedSettings settings;
  CProfileStore store(path);
  EXPECT_FALSE(store.Load("LED", settings, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(settings.maxSq, 3);
  EXPECT_EQ(settings.comPort, 1);
  EXPECT_EQ(settings.seq.Cell(5, 2), 128);
  EXPECT_EQ(ReadFile(path), kOldProfile);
}

// A 64 KiB tmpfs filled to the last byte.
class FullDisk : public testing::Test {
 protected:
  void SetUp() override {
    if (!disk.Mounted()) GTEST_SKIP() << disk.WhyNot();
    WriteFile(path, kOldProfile);
    disk.Fill();
  }

  TempFolder folder;
  std::string path = folder.File("dimlet.ini");
  SmallDisk disk{folder.Path(), 64 * 1024};
  std::string error;
};

TEST_F(FullDisk, SaveFailsWithNoSpaceAndKeepsTheOldFile) {
  LedSettings settings;
  settings.seq.FillAll(200);
  CProfileStore store(path);
  EXPECT_FALSE(store.Save("LED", settings, &error));
  EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
  EXPECT_EQ(ReadFile(path), kOldProfile);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"dimlet.ini", "filler"}));
}

TEST_F(FullDisk, SaveSucceedsOnceSpaceIsFreed) {
  disk.Free();
  LedSettings settings;
  settings.maxSq = 4;
  CProfileStore store(path);
  ASSERT_TRUE(store.Save("LED", settings, &error)) << error;
  EXPECT_NE(ReadFile(path).find("[Ports]\nCom 1=/dev/ttyS0\n[Settings\\LED]\nMax SQ=4\n"), std::string::npos);
}

}  // namespace
