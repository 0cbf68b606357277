// Profiles as people leave them: values the program cannot read, marks and
// line ends of other editors, files of millions of lines, and edits saved by
// another program while this one saves.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "settings/ini_document.h"
#include "settings/profile_store.h"
#include "filled_record.h"
#include "support/files.h"
#include "support/temp_folder.h"

using namespace testsupport;

namespace {

class ProfileHostile : public testing::Test {
 protected:
  TempFolder folder;
  std::string path = folder.File("dimlet.ini");
  CProfileStore store{path};
  LedSettings settings;
  std::string error;
};

TEST_F(ProfileHostile, UnreadableValuesAreNamedWithWhatTheyHeldAndReplacedByTheDefault) {
  struct Row {
    const char* written;
    const char* shown;
  };
  const Row rows[] = {
      {"0x28", "0x28"},       {"40 ;note", "40 ;note"}, {"4 0", "4 0"},
      {"4294967336", "4294967336"}, {" -2147483649 ", "-2147483649"},
      {"12345678901234567890123456789012345678901234567890", "1234567890123456789012345678901234567890"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.written);
    WriteFile(path, std::string("[Settings\\LED]\nMax SQ=") + row.written + "\nSEQ 1\\CH 2=40\n");
    ASSERT_TRUE(store.Load("LED", settings, &error)) << error;
    EXPECT_EQ(settings.maxSq, 8);
    EXPECT_EQ(settings.seq.Cell(1, 2), 40);
    ASSERT_EQ(store.Replaced().size(), 1u);
    EXPECT_EQ(store.Replaced()[0].key, "Max SQ");
    EXPECT_EQ(store.Replaced()[0].text, row.shown);
    EXPECT_EQ(CIniDocument(ReadFile(path)).Value("Settings\\LED", "Max SQ"), "8");
    // The second load finds only its own values: nothing left to name.
    ASSERT_TRUE(store.Load("LED", settings, &error));
    EXPECT_TRUE(store.Replaced().empty());
  }
}

// Folders named with letters beyond ASCII, as a user's name makes them: made,
// written, replaced and read again under their own names (on Windows they
// cross to the system as UTF-16, never through the ANSI code page).
TEST_F(ProfileHostile, FoldersNamedBeyondAsciiHoldTheProfile) {
  const std::string deep = folder.File("B\xC3\xBCro \xC3\x85/\xE6\xB5\x8B\xE8\xAF\x95 \xC3\x9F");
  CProfileStore deepStore(deep + "/dimlet.ini");
  ASSERT_TRUE(deepStore.Save("LED", Filled(7), &error)) << error;
  ASSERT_TRUE(deepStore.Save("LED", Filled(9), &error)) << error;
  const std::u8string name(reinterpret_cast<const char8_t*>(deep.data()), deep.size());
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(name))) << "the folder is not there by its name";
  CProfileStore reader(deep + "/dimlet.ini");
  ASSERT_TRUE(reader.Load("LED", settings, &error)) << error;
  EXPECT_EQ(settings.seq.Cell(1, 2), 9);
}

// An editor's byte order mark and carriage-return-only lines: the keys are
// found, no second section is added, and a complete profile is not rewritten.
TEST_F(ProfileHostile, ProfilesOfOtherEditorsAreReadAndLeftAsTheyWere) {
  CProfileStore(path).Save("LED", Filled(9), &error);
  const std::string saved = ReadFile(path);
  std::string crOnly = saved;
  for (char& c : crOnly) c = c == '\n' ? '\r' : c;
  for (const std::string& text : {"\xEF\xBB\xBF" + saved, crOnly, "\xEF\xBB\xBF" + crOnly}) {
    WriteFile(path, text);
    const unsigned long inode = InodeOf(path);
    settings = LedSettings{};
    ASSERT_TRUE(store.Load("LED", settings, &error)) << error;
    EXPECT_EQ(settings.maxSq, 9);
    EXPECT_EQ(settings.seq.cells, Filled(9).seq.cells);
    EXPECT_TRUE(store.Replaced().empty());
    EXPECT_EQ(ReadFile(path), text);
    EXPECT_EQ(InodeOf(path), inode) << "a profile holding every key was rewritten";
    ASSERT_TRUE(store.Save("LED", Filled(10), &error));
    const std::string after = ReadFile(path);
    EXPECT_EQ(after.rfind(text.substr(0, 3), 0), 0u) << "the first bytes changed";
    EXPECT_EQ(after.size(), text.size() + 35) << "lines were added or lost";
  }
}

// 60 MB of blank lines once ended in std::bad_alloc; the keys go after them.
TEST_F(ProfileHostile, SixtyMegabytesOfBlankLinesLoadAndSave) {
  const std::string blanks(60u << 20, '\n');
  WriteFile(path, blanks);
  ASSERT_TRUE(store.Load("LED", settings, &error)) << error;
  EXPECT_EQ(settings.maxSq, 8);
  ASSERT_TRUE(store.Save("LED", Filled(3), &error)) << error;
  const std::string after = ReadFile(path);
  EXPECT_EQ(after.compare(0, blanks.size(), blanks), 0);
  EXPECT_EQ(CIniDocument(after.substr(blanks.size())).Value("Settings\\LED", "Max SQ"), "3");
}

TEST_F(ProfileHostile, ProfileBeyondTheLargestReadIsRefusedAndLeftUntouched) {
  const std::string big((64u << 20) + 1, '\n');
  WriteFile(path, big);
  EXPECT_FALSE(store.Load("LED", settings, &error));
  EXPECT_NE(error.find("File too large"), std::string::npos) << error;
  EXPECT_EQ(settings.maxSq, 8);
  EXPECT_FALSE(store.Save("LED", settings, &error));
  EXPECT_EQ(ReadFile(path).size(), big.size());
}

// The device map comes from the same reading as the values: looking a port up
// afterwards reads nothing, and a save brings in what a person changed.
TEST_F(ProfileHostile, PortMapIsTheOneOfTheLastReading) {
  WriteFile(path, "[Ports]\nCom 2=/dev/ttyS4\n");
  ASSERT_TRUE(store.Load("LED", settings, &error));
  WriteFile(path, "[Ports]\nCom 2=/dev/ttyS5\n");
  EXPECT_EQ(store.Ports().DevicePath(2), "/dev/ttyS4");
  EXPECT_EQ(store.Ports().DevicePath(1), DefaultDevicePath(1));
  ASSERT_TRUE(store.Save("LED", settings, &error));
  EXPECT_EQ(store.Ports().DevicePath(2), "/dev/ttyS5");
}

// Another program (a person's editor) adds a key at random moments, each time
// reading the file and renaming its new version over it, while saves run
// back to back. Every one of its keys must be in the file at the end.
TEST_F(ProfileHostile, EditsLandingDuringSavesAreAllKept) {
  constexpr int kEdits = 150;
  ASSERT_TRUE(store.Save("LED", Filled(0), &error));
  std::atomic<bool> editing{true};
  std::thread editor([&] {
    std::mt19937 random(42);
    const std::string temp = folder.File("editor.tmp");
    for (int edit = 0; edit < kEdits; ++edit) {
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 1500));
      // Never empty here; Windows refuses the open while a save replaces it.
      std::string bytes;
      while ((bytes = ReadFile(path)).empty()) std::this_thread::sleep_for(std::chrono::microseconds(100));
      CIniDocument text(bytes);
      text.Set("Hand", "edit " + std::to_string(edit), "1");
      WriteFile(temp, text.Text());
      // Windows refuses a rename over a file a save holds open that moment.
      for (std::error_code failed;; std::this_thread::sleep_for(std::chrono::microseconds(100))) {
        std::filesystem::rename(temp, path, failed);
        if (!failed) break;
      }
    }
    editing = false;
  });
  int saves = 0;
  for (int32_t value = 1; editing; ++value, ++saves) {
    CProfileStore saver(path);
    EXPECT_TRUE(saver.Save("LED", Filled(value % 256), &error)) << error;
  }
  editor.join();
  CIniDocument after(ReadFile(path));
  int lost = 0;
  for (int edit = 0; edit < kEdits; ++edit) lost += !after.Value("Hand", "edit " + std::to_string(edit));
  EXPECT_EQ(lost, 0) << "of " << kEdits << " edits, during " << saves << " saves";
}

}  // namespace
