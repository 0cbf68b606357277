// Saves that cannot reach the disk: the old file stays whole, the caller is
// told why, and the record is not disturbed. Root ignores permission bits, so
// a read-only folder is made immutable (chattr +i) when running as root, and a
// full disk is a small tmpfs.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "settings/profile_store.h"
#include "test_files.h"

namespace {

const std::string kOldProfile = "[Ports]\nCom 1=/dev/ttyS0\n[Settings\\LED]\nMax SQ=3\n";

bool RunQuietly(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

// A folder holding a profile, which writes to the folder cannot change.
class ReadOnlyFolder : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(path, kOldProfile);
    if (geteuid() != 0) {
      ASSERT_EQ(chmod(folder.Path().c_str(), 0555), 0);
      return;
    }
    if (!RunQuietly("chattr +i '" + folder.Path() + "'")) {
      GTEST_SKIP() << "running as root and chattr +i is unavailable here, so no folder is read-only";
    }
    immutable = true;
  }
  void TearDown() override {
    if (immutable) RunQuietly("chattr -i '" + folder.Path() + "'");
    chmod(folder.Path().c_str(), 0700);
  }

  CTempFolder folder;
  std::string path = folder.File("dimlet.ini");
  bool immutable = false;
};

TEST_F(ReadOnlyFolder, SaveFailsWithTheSystemReasonAndKeepsTheOldFile) {
  LedSettings settings;
  settings.seq.FillAll(9);
  const LedSettings before = settings;
  CProfileStore store(path);
  EXPECT_FALSE(store.Save("LED", settings));
  EXPECT_NE(store.Error().find("temporary file"), std::string::npos) << store.Error();
  EXPECT_TRUE(store.Error().find(std::strerror(EPERM)) != std::string::npos ||
              store.Error().find(std::strerror(EACCES)) != std::string::npos)
      << store.Error();
  EXPECT_EQ(ReadFile(path), kOldProfile);
  EXPECT_EQ(settings.seq.cells, before.seq.cells);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"dimlet.ini"});
}

TEST_F(ReadOnlyFolder, LoadStillFillsTheRecordWhenTheWriteBackFails) {
  LedSettings settings;
  CProfileStore store(path);
  EXPECT_FALSE(store.Load("LED", settings));
  EXPECT_FALSE(store.Error().empty());
  EXPECT_EQ(settings.maxSq, 3);
  EXPECT_EQ(settings.comPort, 1);
  EXPECT_EQ(settings.seq.Cell(5, 2), 128);
  EXPECT_EQ(ReadFile(path), kOldProfile);
}

// A 64 KiB tmpfs filled to the last page.
class FullDisk : public testing::Test {
 protected:
  void SetUp() override {
    if (mount("tmpfs", folder.Path().c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) {
      GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                   << "), so no full disk can be made";
    }
    mounted = true;
    WriteFile(path, kOldProfile);
    FILE* filler = std::fopen(folder.File("filler").c_str(), "wb");
    ASSERT_NE(filler, nullptr);
    std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
    }
    std::fclose(filler);
  }
  void TearDown() override {
    if (mounted) umount2(folder.Path().c_str(), MNT_DETACH);
  }

  CTempFolder folder;
  std::string path = folder.File("dimlet.ini");
  bool mounted = false;
};

TEST_F(FullDisk, SaveFailsWithNoSpaceAndKeepsTheOldFile) {
  LedSettings settings;
  settings.seq.FillAll(200);
  CProfileStore store(path);
  EXPECT_FALSE(store.Save("LED", settings));
  EXPECT_NE(store.Error().find(std::strerror(ENOSPC)), std::string::npos) << store.Error();
  EXPECT_EQ(ReadFile(path), kOldProfile);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"dimlet.ini", "filler"}));
}

TEST_F(FullDisk, SaveSucceedsOnceSpaceIsFreed) {
  unlink(folder.File("filler").c_str());
  LedSettings settings;
  settings.maxSq = 4;
  CProfileStore store(path);
  ASSERT_TRUE(store.Save("LED", settings)) << store.Error();
  EXPECT_NE(ReadFile(path).find("[Ports]\nCom 1=/dev/ttyS0\n[Settings\\LED]\nMax SQ=4\n"), std::string::npos);
}

}  // namespace
