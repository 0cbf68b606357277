// The journal on real files: lines from two programs at once, its rotation,
// a journal that cannot be written, and text that would break a line.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "settings/journal.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/write_fixtures.h"

namespace {

using testsupport::ChildProcess;
using testsupport::TempFolder;

JournalEntry EntryFor(int writer, int index) {
  JournalEntry entry;
  entry.device = "/dev/ttyUSB" + std::to_string(writer);
  entry.unit = index % 8;
  // Lines of different lengths, some past the size a pipe writes whole.
  entry.label = std::string(static_cast<size_t>(50 + (index * 37) % 6000), 'a' + static_cast<char>(writer));
  entry.command = "write";
  entry.rows = {{1 + index % 8, {index % 256, 1, 2, 3}}};
  entry.outcome = std::to_string(index);
  return entry;
}

TEST(Journal, TwoProgramsWritingAtOnceNeverSplitALineAndRotationLosesNone) {
  TempFolder folder;
  const std::string path = folder.File("state/dimlet/journal.jsonl");
  constexpr int kLines = 1200;
  // Small enough that both writers move the file aside many times; large
  // enough that the files kept hold every line.
  constexpr int64_t kRotate = 2'200'000;
  auto writer = [&path](int id) {
    return ChildProcess::Fork([&path, id]() {
      const JournalWriter who{"dimlet-cli", "test", "host", "user" + std::to_string(id)};
      for (int i = 0; i < kLines; ++i) {
        std::string error;
        if (!AppendJournalLine(path, JournalLineText(who, JournalTimeNow(), EntryFor(id, i)), kRotate, &error)) return 1;
      }
      return 0;
    });
  };
  ChildProcess first = writer(0);
  ChildProcess second = writer(1);
  ASSERT_EQ(first.StopWith(0, std::chrono::seconds(60)), 0);
  ASSERT_EQ(second.StopWith(0, std::chrono::seconds(60)), 0);

  std::set<std::pair<std::string, int>> seen;
  int files = 0;
  for (const std::string& name : {path, path + ".1", path + ".2", path + ".3"}) {
    std::ifstream in(name, std::ios::binary);
    if (!in) continue;
    ++files;
    std::string line;
    while (std::getline(in, line)) {
      const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
      ASSERT_FALSE(entry.is_discarded()) << name << ": a line split or mixed: " << line.substr(0, 80);
      const int writerId = entry["user"] == "user0" ? 0 : 1;
      const int index = std::stoi(entry["outcome"].get<std::string>());
      EXPECT_EQ(entry["label"], EntryFor(writerId, index).label);
      EXPECT_TRUE(seen.emplace(entry["user"], index).second) << "written twice: " << index;
    }
  }
  EXPECT_EQ(seen.size(), 2u * kLines);
  EXPECT_EQ(files, 1 + kJournalKept);
}

TEST(Journal, AJournalThatCannotBeWrittenIsToldOnceAndNamesItsPlace) {
  TempFolder folder;
  std::ofstream(folder.File("plain")) << "a file where the folder would be\n";
  CJournal journal(folder.File("plain") + "/journal.jsonl", {"dimlet", "test", "host", "user"});
  JournalEntry entry;
  entry.command = "store";
  const std::string told = journal.Append(entry);
  EXPECT_NE(told.find(folder.File("plain")), std::string::npos) << told;
  EXPECT_EQ(journal.Append(entry), "");
  // A FIFO nobody reads is no journal, and no reason to wait.
  ASSERT_EQ(mkfifo(folder.File("fifo").c_str(), 0600), 0);
  CJournal fifo(folder.File("fifo"), {"dimlet", "test", "host", "user"});
  EXPECT_NE(fifo.Append(entry).find(folder.File("fifo")), std::string::npos);
  CJournal off("", {"dimlet", "test", "host", "user"});
  EXPECT_EQ(off.Append(entry), "");
}

TEST(Journal, TextThatHoldsQuotesLineEndsControlsOrBytesOutsideUtf8StaysOneLineOfJson) {
  JournalEntry entry;
  entry.device = "/dev/serial/by-id/usb-\xff\xc3";
  entry.serial = "A1\"B2";
  entry.unit = 3;
  entry.label = "B\xC3\xBChne \"links\"\n<script>\\\x1b[2J";
  entry.command = "set-highest";
  entry.value = 5;
  entry.outcome = "no answer\r\n";
  const std::string line =
      JournalLineText({"dimlet", "1.0", "h\"ost", "us\ter\xfe"}, "2026-01-01T00:00:00.000Z", entry);
  ASSERT_EQ(line.find('\n'), line.size() - 1);
  const nlohmann::json parsed = nlohmann::json::parse(line);
  EXPECT_EQ(parsed["label"], entry.label);
  EXPECT_EQ(parsed["line"]["serial"], entry.serial);
  EXPECT_EQ(parsed["value"], 5);
  EXPECT_FALSE(parsed.contains("rows"));
  EXPECT_EQ(parsed["user"], "us\ter\\xfe");
  EXPECT_EQ(parsed["line"]["device"], JournalText(entry.device));
  EXPECT_EQ(JournalText(entry.device), "/dev/serial/by-id/usb-\\xff\\xc3");
}

// What went on the wire is what the entry's rows and value hold; what was
// asked stands beside it only where it differs.
TEST(Journal, EachEntryHoldsItsSchemaAndWhatWentOnTheWireBesideWhatWasAsked) {
  JournalEntry rows = JournalFor(1, "", "write", "sent");
  rows.rows = {{1, {232, 251, 3, 4}}, {2, {1, 2, 3, 4}}};
  rows.askedRows = {{1, {1000, -5, 3, 4}}, {2, {1, 2, 3, 4}}, {3, {9, 9, 9, 9}}};
  rows.readAgain = 2;
  JournalEntry value = JournalFor(1, "", "set-address", "sent");
  value.value = 44;
  value.askedValue = 300;
  const JournalWriter who{"dimlet", "1.0", "host", "user"};
  const nlohmann::json wrote = nlohmann::json::parse(JournalLineText(who, JournalTimeNow(), rows));
  EXPECT_EQ(wrote["v"], kJournalVersion);
  EXPECT_EQ(wrote["rows"], nlohmann::json::parse("[[1,232,251,3,4],[2,1,2,3,4]]"));
  EXPECT_EQ(wrote["asked"], nlohmann::json::parse("[[1,1000,-5,3,4]]")) << "row 3 never left: not asked of the wire";
  const nlohmann::json set = nlohmann::json::parse(JournalLineText(who, JournalTimeNow(), value));
  EXPECT_EQ(set["value"], 44);
  EXPECT_EQ(set["asked"], 300);
  EXPECT_EQ(wrote["read_again"], 2);
  EXPECT_FALSE(set.contains("read_again")) << "a command tried once says nothing of second tries";
}

// A disk that fills during a write, or a line cut short before, never glues
// the next entry to a cut one: both would be lost to the reader.
TEST(Journal, OnlyWholeLinesFollowACutLineOrAFullDisk) {
  TempFolder folder;
  const JournalWriter who{"dimlet-cli", "test", "host", "user"};
  const auto lines = [](const std::string& path) {
    std::vector<std::string> read;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) read.push_back(line);
    return read;
  };
  std::string error;
  const std::string cut = folder.File("cut.jsonl");
  std::ofstream(cut, std::ios::binary) << "{\"time\":\"2026-";
  ASSERT_TRUE(AppendJournalLine(cut, JournalLineText(who, JournalTimeNow(), EntryFor(0, 1)), kJournalRotateBytes, &error));
  ASSERT_EQ(lines(cut).size(), 2u);
  EXPECT_FALSE(nlohmann::json::parse(lines(cut)[1], nullptr, false).is_discarded()) << lines(cut)[1];

  const std::string mountPoint = folder.File("small");
  std::filesystem::create_directory(mountPoint);
  testsupport::SmallDisk disk(mountPoint, 64 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << disk.WhyNot();
  const std::string path = mountPoint + "/journal.jsonl";
  ASSERT_TRUE(AppendJournalLine(path, JournalLineText(who, JournalTimeNow(), EntryFor(0, 0)), kJournalRotateBytes, &error));
  disk.Fill();
  // Longer than the room left in the file's last block: the disk takes a part.
  EXPECT_FALSE(AppendJournalLine(path, JournalLineText(who, JournalTimeNow(), EntryFor(0, 150)), kJournalRotateBytes, &error));
  EXPECT_EQ(lines(path).size(), 1u);
  disk.Free();
  ASSERT_TRUE(AppendJournalLine(path, JournalLineText(who, JournalTimeNow(), EntryFor(0, 2)), kJournalRotateBytes, &error));
  for (const std::string& line : lines(path)) {
    EXPECT_FALSE(nlohmann::json::parse(line, nullptr, false).is_discarded()) << line.substr(0, 80);
  }
  EXPECT_EQ(lines(path).size(), 2u);
}

}  // namespace
