// Stored rows kept across runs: through a real file, by one line and then
// by the next line started on the same file.
#include "sim/unit_state_file.h"

#include <sys/stat.h>


#include "sim_line_fixture.h"
#include "support/files.h"

namespace simtest {
namespace {

using Row = std::array<int, 4>;

class StateFileTest : public SimLineTest {
 protected:
  TempFolder dir;
  std::string statePath = dir.File("units.state");
};

TEST_F(StateFileTest, StoredRowsComeBackInTheNextRun) {
  StartLine(Options([&](sim::SimOptions& o) { o.units = {0, 3}; o.stateFile = statePath; }));
  SendFrames({{0xA3, 0x57, 6, 1, 2, 3, 4}, {0xA3, 0x57, 0x53}, {0xA3, 0x57, 5, 9, 9, 9, 9}});
  client.reset();
  line.reset();

  StartLine(Options([&](sim::SimOptions& o) { o.units = {0, 3}; o.stateFile = statePath; }));
  const sim::UnitState unit = line->Unit(3);
  EXPECT_EQ(unit.stored[6], (Row{1, 2, 3, 4}));
  EXPECT_EQ(unit.rows[6], (Row{1, 2, 3, 4})) << "a unit starts from its stored copy";
  EXPECT_EQ(unit.rows[5], (Row{128, 128, 128, 128})) << "rows written but not stored are lost";
  EXPECT_EQ(line->Unit(0).stored[6], (Row{128, 128, 128, 128}));
  SendFrames({{0xA3, 0x52, 6}});
  EXPECT_EQ(client->Read(4, kWait), (Bytes{1, 2, 3, 4}));
}

TEST_F(StateFileTest, UnitsAbsentFromThisRunKeepTheirEntries) {
  sim::UnitStateFile file(statePath);
  sim::StoredRows rows{};
  rows[0] = {7, 7, 7, 7};
  file.Set(5, rows);
  ASSERT_TRUE(file.Save(nullptr));

  StartLine(Options([&](sim::SimOptions& o) { o.units = {1}; o.stateFile = statePath; }));
  SendFrames({{0xA1, 0x57, 0x53}});
  client.reset();
  line.reset();

  sim::UnitStateFile reread(statePath);
  ASSERT_TRUE(reread.Load(nullptr));
  ASSERT_EQ(reread.Entries().count(5), 1u);
  EXPECT_EQ(reread.Entries().at(5)[0], (Row{7, 7, 7, 7}));
  EXPECT_EQ(reread.Entries().count(1), 1u);
}

TEST_F(StateFileTest, MissingFileIsAFreshStart) {
  StartLine(Options([&](sim::SimOptions& o) { o.stateFile = statePath; }));
  EXPECT_EQ(line->Unit(0).stored[0], (Row{128, 128, 128, 128}));
  struct stat info{};
  EXPECT_NE(::stat(statePath.c_str(), &info), 0) << "nothing is written before a store";
}

struct BadFileCase {
  const char* name;
  const char* content;
};

void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }

class StateFileRejects : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(StateFileRejects, MalformedFileStopsTheStartAndIsLeftAsItWas) {
  TempFolder dir;
  const std::string path = dir.File("units.state");
  WriteFile(path, std::string("unit 0 row 0 = 1 2 3 4\n") + GetParam().content + "\n");
  const std::string before = ReadFile(path);
  sim::SimLine refused(Options([&](sim::SimOptions& o) { o.stateFile = path; }));
  std::string error;
  EXPECT_FALSE(refused.Start(&error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(path), before);
}

INSTANTIATE_TEST_SUITE_P(
    BadLines, StateFileRejects,
    ::testing::Values(BadFileCase{"ValueAbove255", "unit 1 row 0 = 1 2 3 256"},
                      BadFileCase{"NegativeValue", "unit 1 row 0 = 1 -2 3 4"},
                      BadFileCase{"AddressAbove7", "unit 8 row 0 = 1 2 3 4"},
                      BadFileCase{"RowAbove7", "unit 1 row 8 = 1 2 3 4"},
                      BadFileCase{"ThreeValues", "unit 1 row 0 = 1 2 3"},
                      BadFileCase{"FiveValues", "unit 1 row 0 = 1 2 3 4 5"},
                      BadFileCase{"NotANumber", "unit 1 row 0 = 1 2 x 4"},
                      BadFileCase{"Garbage", "hello"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnitStateFile, SaveToAnUnwritablePlaceFailsAndSaysWhere) {
  sim::UnitStateFile file("/nonexistent-dir/units.state");
  file.Set(0, sim::StoredRows{});
  std::string error;
  EXPECT_FALSE(file.Save(&error));
  EXPECT_NE(error.find("/nonexistent-dir/units.state"), std::string::npos) << error;
}

// A link placed where a fixed temporary name would be cannot redirect the
// write, and the state file stays a file of its own.
TEST(UnitStateFile, SaveFollowsNoLinkPlacedBesideTheFile) {
  TempFolder dir;
  const std::string path = dir.File("units.state");
  const std::string victim = dir.File("victim");
  testsupport::WriteFile(victim, "precious\n");
  ASSERT_EQ(::symlink(victim.c_str(), (path + ".tmp").c_str()), 0);
  sim::UnitStateFile file(path);
  file.Set(2, sim::StoredRows{});
  std::string error;
  ASSERT_TRUE(file.Save(&error)) << error;
  EXPECT_EQ(testsupport::ReadFile(victim), "precious\n");
  struct stat info {};
  ASSERT_EQ(::lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  sim::UnitStateFile reread(path);
  ASSERT_TRUE(reread.Load(&error)) << error;
  EXPECT_EQ(reread.Entries().count(2), 1u);
}

}  // namespace
}  // namespace simtest
