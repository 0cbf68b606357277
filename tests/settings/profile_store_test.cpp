// The profile file as the program leaves it: keys, order, defaults, values,
// what it must keep of a person's edits, and how it treats bad files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "settings/profile_store.h"
#include "filled_record.h"
#include "support/files.h"
#include "support/temp_folder.h"

using namespace testsupport;

namespace {

std::string CellLines(const std::string& value) {
  std::string text;
  for (int row = 0; row < 8; ++row) {
    for (int col = 0; col < 4; ++col) {
      text += "SEQ " + std::to_string(row) + "\\CH " + std::to_string(col) + "=" + value + "\n";
    }
  }
  return text;
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

class ProfileStore : public testing::Test {
 protected:
  TempFolder folder;
  std::string path = folder.File("dimlet.ini");
  CProfileStore store{path};
  LedSettings settings;
  std::string error;
};

TEST_F(ProfileStore, FirstRunWritesDefaultsInOrderAndNumOfChannelOnFirstSave) {
  ASSERT_TRUE(store.Load("LED", settings, &error)) << error;
  EXPECT_EQ(settings.comPort, 1);
  EXPECT_EQ(settings.maxSq, 8);
  for (int32_t cell : settings.seq.cells) EXPECT_EQ(cell, 128);
  const std::string loaded = "[Settings\\LED]\nCom Port Addr=1\nMax SQ=8\n" + CellLines("128");
  EXPECT_EQ(ReadFile(path), loaded);
  ASSERT_TRUE(store.Save("LED", settings, &error));
  EXPECT_EQ(ReadFile(path), loaded + "Num Of Channel=0\n");
}

TEST_F(ProfileStore, SaveIntoEmptyProfileWritesThirtyFiveKeysInSaveOrder) {
  ASSERT_TRUE(store.Save("LED", Filled(3), &error)) << error;
  EXPECT_EQ(ReadFile(path),
            "[Settings\\LED]\nCom Port Addr=3\nNum Of Channel=3\nMax SQ=3\n" + CellLines("3"));
}

TEST_F(ProfileStore, OneStoredCellLoadsIntoItsOwnRowAndColumn) {
  WriteFile(path, "[SETTINGS\\led]\nseq 2\\ch 1=40\n");
  ASSERT_TRUE(store.Load("LED", settings, &error));
  for (int cell = 0; cell < 32; ++cell) EXPECT_EQ(settings.seq.cells[cell], cell == 2 * 4 + 1 ? 40 : 128);
  EXPECT_EQ(Lines(ReadFile(path)).size(), 35u) << "a key was added beside its other-case twin";
}

TEST_F(ProfileStore, ExtremeValuesSurviveAndNumOfChannelIsNeverLoaded) {
  LedSettings saved = Filled(-5);
  saved.comPort = -2147483647 - 1;
  saved.maxSq = 2147483647;
  saved.seq.SetCell(7, 3, 1000);
  ASSERT_TRUE(store.Save("LED", saved, &error));
  settings.numOfChannel = 77;
  ASSERT_TRUE(CProfileStore(path).Load("LED", settings, &error));
  EXPECT_EQ(settings.seq.cells, saved.seq.cells);
  EXPECT_EQ(settings.comPort, saved.comPort);
  EXPECT_EQ(settings.maxSq, saved.maxSq);
  EXPECT_EQ(settings.numOfChannel, 77);
}

TEST_F(ProfileStore, UnreadableValuesTakeDefaultsAndAreReplacedByLoad) {
  WriteFile(path, "[Settings\\LED]\nCom Port Addr=2147483648\nMax SQ=eight\nSEQ 0\\CH 1= -7 \n");
  ASSERT_TRUE(store.Load("LED", settings, &error));
  EXPECT_EQ(settings.comPort, 1);
  EXPECT_EQ(settings.maxSq, 8);
  EXPECT_EQ(settings.seq.Cell(0, 1), -7);
  EXPECT_EQ(ReadFile(path).rfind("[Settings\\LED]\nCom Port Addr=1\nMax SQ=8\nSEQ 0\\CH 1= -7 \n", 0), 0u);
}

TEST_F(ProfileStore, WhatTheProgramDoesNotOwnSurvivesSaveInPlace) {
  WriteFile(path,
            "; by hand\n[Ports]\nCom 1=/dev/ttyS0\n\n[Settings\\LED]\nMax SQ = 4\nFavourite=blue\n"
            "# inside\n\n[Other]\nx=y\n");
  ASSERT_TRUE(store.Save("LED", Filled(6), &error));
  EXPECT_EQ(ReadFile(path),
            "; by hand\n[Ports]\nCom 1=/dev/ttyS0\n\n[Settings\\LED]\nMax SQ = 6\nFavourite=blue\n"
            "Com Port Addr=6\nNum Of Channel=6\n" + CellLines("6") + "# inside\n\n[Other]\nx=y\n");
}

TEST_F(ProfileStore, SaveKeepsAnEditMadeWhileTheProgramRan) {
  ASSERT_TRUE(store.Load("LED", settings, &error));
  WriteFile(path, ReadFile(path) + "\n[Ports]\nCom 2=/dev/ttyACM0\n");
  settings.seq.SetCell(0, 0, 9);
  ASSERT_TRUE(store.Save("LED", settings, &error));
  std::string after = ReadFile(path);
  EXPECT_NE(after.find("\n[Ports]\nCom 2=/dev/ttyACM0\n"), std::string::npos);
  EXPECT_NE(after.find("SEQ 0\\CH 0=9\n"), std::string::npos);
}

TEST_F(ProfileStore, WritesReplaceTheFileOnlyWhenNeededAndLeaveNoTemporaries) {
  ASSERT_TRUE(store.Save("LED", Filled(5), &error));
  unsigned long inode = InodeOf(path);
  ASSERT_TRUE(store.Load("LED", settings, &error));
  EXPECT_EQ(InodeOf(path), inode) << "Load rewrote a complete profile";
  ASSERT_TRUE(store.Save("LED", Filled(6), &error));
  EXPECT_NE(InodeOf(path), inode) << "Save rewrote the file in place instead of replacing it";
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"dimlet.ini"});
}

TEST_F(ProfileStore, TemporariesOfKilledWritersAreSweptButLiveOnesKept) {
  for (const char* name : {".dimlet.ini.tmp.aB3dE9", ".dimlet.ini.tmp.Zz0000", ".dimlet.ini.backup"}) {
    WriteFile(folder.File(name), "x");
  }
  // A flock belongs to an open file, not a process, so this lock stands for
  // another writer still at work.
  int liveFd = open(folder.File(".dimlet.ini.tmp.Zz0000").c_str(), O_RDONLY);
  ASSERT_EQ(flock(liveFd, LOCK_EX), 0);
  ASSERT_TRUE(store.Save("LED", Filled(1), &error)) << error;
  close(liveFd);
  EXPECT_EQ(folder.Names(),
            (std::vector<std::string>{".dimlet.ini.backup", ".dimlet.ini.tmp.Zz0000", "dimlet.ini"}));
}

TEST_F(ProfileStore, SymbolicLinksStayLinksAndTheirFinalTargetIsWritten) {
  TempFolder elsewhere;
  ASSERT_EQ(symlink(elsewhere.File("link2").c_str(), path.c_str()), 0);
  ASSERT_EQ(symlink("real.ini", elsewhere.File("link2").c_str()), 0);
  ASSERT_TRUE(store.Load("LED", settings, &error)) << error;  // creates the dangling target
  ASSERT_TRUE(store.Save("LED", Filled(2), &error)) << error;
  EXPECT_TRUE(S_ISLNK(ModeOf(path)));
  EXPECT_TRUE(S_ISLNK(ModeOf(elsewhere.File("link2"))));
  EXPECT_NE(ReadFile(elsewhere.File("real.ini")).find("Max SQ=2"), std::string::npos);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"dimlet.ini"});
}

TEST_F(ProfileStore, ReplacedFileKeepsItsModeAndNewFileGetsReadableModeLessUmask) {
  mode_t old = umask(027);
  bool created = store.Save("LED", Filled(1), &error);
  umask(old);
  ASSERT_TRUE(created) << error;
  EXPECT_EQ(ModeOf(path) & 07777, 0640u);
  ASSERT_EQ(chmod(path.c_str(), 0604), 0);
  ASSERT_TRUE(store.Save("LED", Filled(2), &error));
  EXPECT_EQ(ModeOf(path) & 07777, 0604u);
}

TEST_F(ProfileStore, MissingFoldersAreCreated) {
  CProfileStore nested(folder.File("a/b/dimlet.ini"));
  ASSERT_TRUE(nested.Load("LED", settings, &error)) << error;
  EXPECT_NE(ReadFile(folder.File("a/b/dimlet.ini")).find("Max SQ=8"), std::string::npos);
}

TEST_F(ProfileStore, CrlfProfileKeepsItsLineEnds) {
  WriteFile(path, "[Ports]\r\nCom 1=/dev/ttyS0\r\n[Settings\\LED]\r\nMax SQ=3\r\n");
  ASSERT_TRUE(store.Load("LED", settings, &error));
  EXPECT_EQ(settings.maxSq, 3);
  std::string after = ReadFile(path);
  EXPECT_EQ(after.rfind("[Ports]\r\nCom 1=/dev/ttyS0\r\n[Settings\\LED]\r\nMax SQ=3\r\nCom Port Addr=1\r\n", 0), 0u);
  EXPECT_EQ(after.find("=128\n"), std::string::npos) << "a bare LF line end was added";
}

// Load takes what it can read and defaults for the rest, and the junk stays.
TEST_F(ProfileStore, BadBytesAreKeptAndDoNotHideTheKeys) {
  std::mt19937 random(99);
  std::string randomBytes(4096, '\0');
  for (char& c : randomBytes) c = static_cast<char>(random());
  for (const std::string& junk : {randomBytes, std::string("[Settings\\LED]\0Max SQ=1\0\0", 25),
                                  std::string(10 << 20, 'q'), std::string(10 << 20, 'k').append("=1"),
                                  std::string("[Settings\\LED\nMax SQ=1")}) {
    WriteFile(path, junk + "\n[Settings\\LED]\nSEQ 1\\CH 1=77\n");
    LedSettings loaded;
    ASSERT_TRUE(store.Load("LED", loaded, &error)) << error;
    EXPECT_EQ(loaded.seq.Cell(1, 1), 77);
    EXPECT_EQ(loaded.seq.Cell(0, 0), 128);
    EXPECT_EQ(loaded.maxSq, 8);
    EXPECT_EQ(ReadFile(path).compare(0, junk.size(), junk), 0);
  }
}

TEST_F(ProfileStore, DirectoryWhereTheFileShouldBeYieldsDefaultsAndIsNotTouched) {
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  WriteFile(path + "/inside", "x");
  EXPECT_FALSE(store.Load("LED", settings, &error));
  EXPECT_NE(error.find(path + ": Is a directory"), std::string::npos) << error;
  EXPECT_EQ(settings.maxSq, 8);
  EXPECT_EQ(settings.seq.Cell(7, 3), 128);
  EXPECT_FALSE(store.Save("LED", settings, &error));
  EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(path + "/inside"), "x");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"dimlet.ini"});
}

TEST_F(ProfileStore, FileThatMayNotBeReadYieldsDefaultsAndIsNotOverwritten) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  WriteFile(path, "[Settings\\LED]\nMax SQ=3\n");
  ASSERT_EQ(chmod(path.c_str(), 0200), 0);
  EXPECT_FALSE(store.Load("LED", settings, &error));
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  EXPECT_EQ(settings.maxSq, 8);
  EXPECT_FALSE(store.Save("LED", settings, &error));
  chmod(path.c_str(), 0600);
  EXPECT_EQ(ReadFile(path), "[Settings\\LED]\nMax SQ=3\n");
}

}  // namespace
