// dimlet-cli's commands as a script meets them: the frames each one puts on
// the line, what it prints, and its exit status.
#include <sys/stat.h>

#include <map>
#include <set>
#include <sstream>

#include "cli/cli_arguments.h"
#include "cli_fixture.h"
#include "support/files.h"

namespace {

using testing::HasSubstr;

const char* const kEightRows =
    "# the rows of unit 1 and unit 6\n"
    "unit,sequence,ch1,ch2,ch3,ch4\n"
    "1,1,0,128,255,40\n"
    "1,3,10,20,30,40\n"
    "\n"
    "6,8,1,2,3,4\n";

struct FrameCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<Frame> frames;
  int status = 0;
};

TEST_F(CliTest, EachUnitCommandPutsItsFramesOnTheLine) {
  const FrameCase cases[] = {
      {"store to two units", {"store", "--unit", "2,5"}, {{0xA2, 0x57, 0x53}, {0xA5, 0x57, 0x53}}},
      {"run", {"run", "--unit", "3"}, {{0xA3, 0x57, 0x52}}},
      {"stop", {"stop", "--unit=3"}, {{0xA3, 0x57, 0x54}}},
      {"forced new address goes out bare, then the new and the old are asked for (unit 5 keeps its own)",
       {"set-address", "--unit", "0", "5", "--force"},
       {{0xA0, 0x57, 0x4A, 0x05}, ReadRowFrame(5, 0), ReadRowFrame(0, 0)},
       1},
      {"highest sequence", {"set-highest", "--unit", "7", "8"}, {{0xA7, 0x57, 0x51, 0x08}}},
      {"scan asks every address for row 0",
       {"scan"},
       {ReadRowFrame(0, 0), ReadRowFrame(1, 0), ReadRowFrame(2, 0), ReadRowFrame(3, 0), ReadRowFrame(4, 0),
        ReadRowFrame(5, 0), ReadRowFrame(6, 0), ReadRowFrame(7, 0)}},
      {"read one sequence", {"read", "--unit", "4", "--sequence", "6"}, {ReadRowFrame(4, 5)}},
  };
  WriteProfile();
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_sim->ClearRecords();
    const CliResult result = Run(c.args);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(Frames(), c.frames);
  }
}

TEST_F(CliTest, WriteSendsEachUnitItsRowsThenReadsThemBack) {
  const CliResult result = Run({"write", File("rows.csv", kEightRows)});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Frames(), (std::vector<Frame>{WriteRowFrame(1, 0, 0, 128, 255, 40), WriteRowFrame(1, 2, 10, 20, 30, 40),
                                          ReadRowFrame(1, 0), ReadRowFrame(1, 2), WriteRowFrame(6, 7, 1, 2, 3, 4),
                                          ReadRowFrame(6, 7)}));
  EXPECT_EQ(m_sim->Unit(1).rows[2], (std::array<int, 4>{10, 20, 30, 40}));
  EXPECT_THAT(result.out, HasSubstr("unit 6: 1 row written and read back"));
  EXPECT_EQ(result.err, "") << "no progress where standard error is not a terminal";
}

TEST_F(CliTest, ProgressGoesToATerminalOnlyAndQuietLeavesOnlyErrors) {
  const std::string rows = File("rows.csv", "sequence,ch1,ch2,ch3,ch4\n1,1,2,3,4\n2,5,6,7,8\n");
  CliResult result = Run({"write", "--unit", "1", rows}, "", true);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.err, HasSubstr("\runit 1: writing row 2 of 2"));
  EXPECT_THAT(result.err, HasSubstr("\runit 1: verifying row 2 of 2"));
  EXPECT_EQ(result.out, "unit 1: 2 rows written and read back\n") << "data only on standard output";

  result = Run({"write", "--unit", "1", rows, "-q"}, "", true);
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "");

  // -q keeps what a script asked for and what went wrong.
  EXPECT_EQ(Run({"scan", "-q"}).out, "0\n1\n2\n3\n4\n5\n6\n7\n");
  m_sim->SetUnitRow(1, 0, {9, 9, 9, 9});
  result = Run({"verify", "--unit", "1", rows, "-q"}, "", true);
  EXPECT_EQ(result.status, 5);
  EXPECT_THAT(result.err, HasSubstr("unit 1, sequence 1, CH1: expected 1, the unit holds 9"));
}

TEST_F(CliTest, WriteWithoutVerifyAndWithStoreSendsWhatItSays) {
  const std::string rows = File("rows.csv", "sequence,ch1,ch2,ch3,ch4\n2,5,6,7,8\n");
  WriteProfile();
  ASSERT_EQ(Run({"write", "--unit", "0,3", rows, "--no-verify", "--store", "-q"}).status, 0);
  EXPECT_EQ(Frames(), (std::vector<Frame>{WriteRowFrame(0, 1, 5, 6, 7, 8),
                                          {0xA0, 0x57, 0x53},
                                          WriteRowFrame(3, 1, 5, 6, 7, 8),
                                          {0xA3, 0x57, 0x53}}));
  EXPECT_EQ(m_sim->Unit(3).stored[1], (std::array<int, 4>{5, 6, 7, 8}));
}

TEST_F(CliTest, ReadOutputWrittenBackRestoresTheUnit) {
  StartSim();
  const std::array<std::array<int, 4>, 8> rows = {{{0, 1, 2, 3},
                                                    {255, 254, 253, 252},
                                                    {128, 0, 128, 0},
                                                    {9, 99, 199, 249},
                                                    {1, 1, 1, 1},
                                                    {40, 30, 20, 10},
                                                    {7, 77, 177, 17},
                                                    {200, 100, 50, 25}}};
  for (int r = 0; r < 8; ++r) m_sim->SetUnitRow(2, r, rows[r]);
  const std::string saved = m_dir + "/unit2.csv";
  const CliResult read = Run({"read", "--unit", "2", "-o", saved});
  ASSERT_EQ(read.status, 0) << read.err;

  for (int r = 0; r < 8; ++r) m_sim->SetUnitRow(2, r, {0, 0, 0, 0});
  const CliResult write = Run({"write", saved});
  ASSERT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(m_sim->Unit(2).rows, rows);

  // And straight from standard output to standard input.
  const CliResult piped = Run({"read", "--unit", "2"});
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_THAT(piped.out, HasSubstr("unit,sequence,ch1,ch2,ch3,ch4\n2,1,0,1,2,3\n"));
  EXPECT_EQ(Run({"verify", "-"}, piped.out).status, 0);
}

TEST_F(CliTest, FromProfileSendsTheWindowsSequencesToEveryListedUnit) {
  WriteProfile("[Settings\\LED]\nSEQ 2\\CH 1=40\nSEQ 7\\CH 3=255\n");
  const CliResult result = Run({"write", "--from-profile", "--unit", "4,5", "--no-verify", "--sequence", "3"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Frames(), (std::vector<Frame>{WriteRowFrame(4, 2, 128, 40, 128, 128),
                                          WriteRowFrame(5, 2, 128, 40, 128, 128)}));
}

TEST_F(CliTest, DryRunShowsTheRowsPerUnitAndSendsNothing) {
  const std::string rows = File("rows.csv", "sequence,ch1,ch2,ch3,ch4\n2,5,6,7,8\n");
  const CliResult result = Run({"write", "--unit", "1,2", rows, "--dry-run", "--port", "/no/such/device"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "unit,sequence,ch1,ch2,ch3,ch4\n1,2,5,6,7,8\n2,2,5,6,7,8\n");
  EXPECT_TRUE(m_sim->ReceivedBytes().empty());
}

TEST_F(CliTest, PortComesFromTheProfileAsTheWindowFindsIt) {
  WriteProfile("[Settings\\LED]\nCom Port Addr=2\n");
  CliResult result = Run({"store", "--unit", "1"});
  EXPECT_EQ(result.status, 3);
  EXPECT_THAT(result.err, HasSubstr("Com 2 (" + m_dir + "/nothing-here): not open: no such device"));

  result = Run({"store", "--unit", "1", "--port", "Com 1"});
  EXPECT_EQ(result.status, 0) << result.err;

  result = Run({"ports"});
  EXPECT_EQ(result.status, 0);
  EXPECT_THAT(result.out, HasSubstr("Com 1\t" + m_dir + "/units\tthere\t-\techo auto\t"));
  EXPECT_THAT(result.out, HasSubstr("Com 2\t" + m_dir + "/nothing-here\tmissing\tchosen\techo"));
  EXPECT_THAT(result.out, HasSubstr("Com 3\t/dev/ttyUSB2\t"));
}

TEST_F(CliTest, AnotherProfileIsReadWithProfileAndNeverWritten) {
  StartSim();
  const std::string other = File("other.ini", "[Ports]\nCom 3=" + m_dir + "/units\n[Settings\\LED]\nCom Port Addr=3\n");
  struct stat before {};
  stat(other.c_str(), &before);
  EXPECT_EQ(Run({"run", "--unit", "1", "--profile", other}).status, 0);
  struct stat after {};
  stat(other.c_str(), &after);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(Frames(), (std::vector<Frame>{{0xA1, 0x57, 0x52}}));
}

TEST_F(CliTest, ScanListsTheUnitsThatAnswer) {
  sim::SimOptions options;
  options.units = {1, 4, 7};
  StartSim(options);
  const CliResult result = Run({"scan"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "1\n4\n7\n");
}

// A two-wire line returns every byte: with the Com entry's echo left at auto,
// nothing of it may end up in a file, a scan or a verify.
TEST_F(CliTest, OnAnEchoingLineReadWriteScanAndStoreGiveThePlainLinesResults) {
  sim::SimOptions options;
  options.echo = true;
  options.units = {1, 2, 6};
  StartSim(options);
  for (int r = 0; r < 8; ++r) m_sim->SetUnitRow(2, r, {r, 0xA2, 0x52, 255});
  const std::string saved = m_dir + "/unit2.csv";
  ASSERT_EQ(Run({"read", "--unit", "2", "-o", saved}).status, 0);
  EXPECT_THAT(testsupport::ReadFile(saved), HasSubstr("\n2,1,0,162,82,255\n2,2,1,162,82,255\n"));
  for (int r = 0; r < 8; ++r) m_sim->SetUnitRow(2, r, {0, 0, 0, 0});
  const CliResult write = Run({"write", saved, "--store"});
  ASSERT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(m_sim->Unit(2).stored[7], (std::array<int, 4>{7, 0xA2, 0x52, 255}));
  const CliResult scan = Run({"scan"});
  EXPECT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(scan.out, "1\n2\n6\n");
}

TEST_F(CliTest, MissingProfileMeansTheWindowsDefaults) {
  StartSim();
  // No profile at all: Com 1 is /dev/ttyUSB0, and the file is not created.
  CliChild child({"ports"}, m_dir, "");
  const CliResult result = child.Wait();
  EXPECT_EQ(result.status, 0);
  EXPECT_THAT(result.out, HasSubstr("Com 1\t/dev/ttyUSB0\t"));
  struct stat info {};
  EXPECT_NE(stat(m_profilePath.c_str(), &info), 0) << "a profile was created";
}

struct ConventionCase {
  std::vector<std::string> args;
  std::string out;  // a part of standard output
};

TEST_F(CliTest, HelpVersionAndEndOfOptionsAsShellUsersExpect) {
  File("-rows.csv", "sequence,ch1,ch2,ch3,ch4\n1,1,2,3,4\n");
  const ConventionCase cases[] = {
      {{"help", "write"}, "Usage: dimlet-cli write [options] FILE\n"},
      {{"write", "--help"}, "Usage: dimlet-cli write [options] FILE\n"},
      {{"-V"}, "dimlet-cli "},
      {{"write", "--unit", "1", "--", "-rows.csv"}, "unit 1: 1 row written and read back"},
  };
  WriteProfile();
  for (const ConventionCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    // In the test's folder, where a file may be called "-rows.csv".
    std::string script = "\"$CLI\"";
    for (const std::string& a : c.args) script += " '" + a + "'";
    const CliResult result = RunShell(script);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr(c.out));
  }
}

struct CompletionCase {
  std::vector<std::string> words;  // the last is under the cursor
  std::string offered;
};

TEST(CliCompletion, OffersWhatTheCommandTakesFromTheOptionTable) {
  const CompletionCase cases[] = {
      {{"wr"}, "write\n"},
      {{"scan", "--s"}, ""},  // scan takes no --sequence nor --store
      {{"write", "--no"}, "--no-verify\n"},
      {{"set-address", "--f"}, "--force\n"},
      {{"read", "--port", ""}, "Com 1\nCom 2\nCom 3\nCom 4\n@files\n"},
      {{"read", "--echo", "o"}, "on\noff\n"},
      {{"verify", "--unit", "1", ""}, "@files\n"},
      {{"scan", ""}, "@files\n"},  // an installation file
      {{"check", ""}, "@files\n"},
      {{"help", "set-"}, "set-address\nset-highest\n"},
  };
  for (const CompletionCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.words));
    EXPECT_EQ(CompletionWords(c.words), c.offered);
  }
}

// The manual's headings under `section` (the line after each .TP or .TQ),
// as plain words: "set-address --unit N new [--force]".
std::vector<std::string> ManualHeadings(const std::string& page, const std::string& section) {
  std::vector<std::string> headings;
  std::istringstream in(page);
  std::string line;
  bool inside = false;
  bool next = false;
  while (std::getline(in, line)) {
    if (line.rfind(".SH", 0) == 0) inside = line == ".SH " + section;
    if (!inside) continue;
    if (next) {
      std::string plain;
      for (size_t i = line.find(' ') + 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'f') {
          i += 2;  // a font change
        } else if (line[i] == '\\' || line[i] == '"') {
          continue;
        } else {
          plain += line[i] == ',' || line[i] == '[' || line[i] == ']' || line[i] == '|' ? ' ' : line[i];
        }
      }
      headings.push_back(plain);
    }
    next = line == ".TP" || line == ".TQ";
  }
  return headings;
}

std::vector<std::string> WordsOf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The options a usage text lists, each of their names ("-o", "--output")
// with its long name.
std::map<std::string, std::string> UsageOptions(const std::string& usage) {
  std::map<std::string, std::string> options;
  std::istringstream in(usage);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("  -", 0) != 0) continue;
    std::vector<std::string> names;
    for (std::string word : WordsOf(line)) {
      if (word.back() == ',') word.pop_back();
      if (word[0] != '-') break;
      names.push_back(word);
    }
    for (const std::string& name : names) options[name] = names.back();
  }
  return options;
}

// The manual page is written by hand; its commands, each command's own
// options and the options it describes are those of the tables the parser
// reads (their usage texts show them).
TEST(CliManual, NamesTheCommandsAndOptionsOfTheTables) {
  const std::string page = testsupport::ReadFile(DIMLET_CLI_MANUAL);
  std::set<std::string> commands;
  std::map<std::string, int> takenBy;  // how many commands take each option
  for (const std::string& name : WordsOf(CompletionWords({""}))) {
    commands.insert(name);
    for (const auto& [option, longName] : UsageOptions(CommandUsageText(name))) ++takenBy[option];
  }
  std::set<std::string> described;
  for (const std::string& heading : ManualHeadings(page, "COMMANDS")) {
    const std::vector<std::string> words = WordsOf(heading);
    const std::string& command = words[0];
    SCOPED_TRACE(heading);
    ASSERT_TRUE(commands.count(command)) << "the manual describes a command the program does not have";
    described.insert(command);
    const std::map<std::string, std::string> takes = UsageOptions(CommandUsageText(command));
    std::set<std::string> shown;  // by long name
    for (const std::string& word : words) {
      if (word[0] != '-' || word == "-") continue;
      ASSERT_TRUE(takes.count(word)) << command << " does not take " << word;
      shown.insert(takes.at(word));
    }
    // An option few commands take belongs in the heading of each that does.
    for (const auto& [option, longName] : takes) {
      if (takenBy[option] * 2 < static_cast<int>(commands.size())) {
        EXPECT_TRUE(shown.count(longName)) << "the manual's " << command << " leaves out " << option;
      }
    }
  }
  EXPECT_EQ(described, commands);
  std::set<std::string> options;
  for (const std::string& heading : ManualHeadings(page, "OPTIONS")) {
    for (const std::string& word : WordsOf(heading)) {
      if (word[0] == '-' && word != "--") options.insert(word);
    }
  }
  std::set<std::string> usage;
  for (const auto& [option, longName] : UsageOptions(CliUsageText())) usage.insert(option);
  EXPECT_EQ(options, usage);
}

}  // namespace
