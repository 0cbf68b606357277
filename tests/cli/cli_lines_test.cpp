// dimlet-cli on an installation: several lines at once from one row file,
// whole lines read back, and the results a script reads as JSON Lines.
#include <nlohmann/json.hpp>

#include "cli/row_file.h"
#include "cli_fixture.h"
#include "support/files.h"

namespace {

using testing::HasSubstr;
using nlohmann::json;

std::vector<json> JsonLines(const std::string& text) {
  std::vector<json> objects;
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t end = text.find('\n', begin);
    objects.push_back(json::parse(text.substr(begin, end - begin)));  // throws on anything but one object a line
    begin = end == std::string::npos ? text.size() : end + 1;
  }
  return objects;
}

std::vector<json> Events(const std::vector<json>& objects, const std::string& event) {
  std::vector<json> found;
  for (const json& object : objects) {
    if (object.at("event") == event) found.push_back(object);
  }
  return found;
}

TEST_F(CliTest, OneInstallationFileWritesEveryLineAndTellsEachOutcomeAsJson) {
  sim::SimOptions options;
  options.units = {0, 1};
  options.linkPath = m_dir + "/second";
  sim::SimLine second(options);
  std::string error;
  ASSERT_TRUE(second.Start(&error)) << error;
  WriteProfile();
  // Unit 1 of the second line holds another row than the file says; unit 5
  // there is absent; a third line has no device at all.
  const std::string rows = File("installation.csv",
                                "line,unit,sequence,ch1,ch2,ch3,ch4\n"
                                "Com 1,2,1,10,20,30,40\n"
                                "Com 1,3,8,1,2,3,4\n" +
                                    m_dir + "/second,0,1,5,6,7,8\n" + m_dir + "/second,5,1,5,6,7,8\n");
  // The second line waits as Com 1 does: its answers are not meant to be late.
  CliResult result = Run({"write", rows, "--json", "--answer-wait", "30"});
  EXPECT_EQ(result.status, 4) << result.err;
  EXPECT_EQ(m_sim->Unit(3).rows[7], (std::array<int, 4>{1, 2, 3, 4}));
  EXPECT_EQ(second.Unit(0).rows[0], (std::array<int, 4>{5, 6, 7, 8}));
  std::vector<json> objects = JsonLines(result.out);
  std::vector<json> units = Events(objects, "unit");
  ASSERT_EQ(units.size(), 4u);
  EXPECT_EQ(units[0].at("line"), "Com 1") << "output grouped by line, in file order";
  EXPECT_EQ(units[1].at("unit"), 3);
  EXPECT_EQ(units[3].at("line"), m_dir + "/second");
  EXPECT_EQ(units[3].at("outcome"), "no answer");
  EXPECT_THAT(result.err, HasSubstr("dimlet-cli: " + m_dir + "/second: unit 5: did not answer\n"));
  const json summary = objects.back();
  EXPECT_EQ(summary.at("event"), "summary");
  EXPECT_EQ(summary.at("lines"), 2);
  EXPECT_EQ(summary.at("units"), 4);
  EXPECT_EQ(summary.at("done"), 3);
  EXPECT_EQ(summary.at("no_answer"), 1);
  EXPECT_EQ(summary.at("exit"), 4);

  // verify of the same file with a differing channel, and a line that is not there.
  second.SetUnitRow(0, 0, {5, 6, 99, 8});
  result = Run({"verify", File("two.csv", "sequence,ch1,ch2,ch3,ch4\n1,5,6,7,8\n"), "--unit", "0", "--port",
                m_dir + "/second", "--port", "Com 2", "--json", "--answer-wait", "30"});
  EXPECT_EQ(result.status, 3) << result.err;
  objects = JsonLines(result.out);
  const std::vector<json> differences = Events(objects, "difference");
  ASSERT_EQ(differences.size(), 1u);
  EXPECT_EQ(differences[0].at("channel"), 3);
  EXPECT_EQ(differences[0].at("expected"), 7);
  EXPECT_EQ(differences[0].at("found"), 99);
  const std::vector<json> faults = Events(objects, "line fault");
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].at("line"), "Com 2");
  EXPECT_THAT(result.err, HasSubstr("dimlet-cli: Com 2 (" + m_dir + "/nothing-here): not open")) << "named twice";
  EXPECT_EQ(objects.back().at("line_faults"), 1);
  EXPECT_EQ(objects.back().at("different"), 1);

  // Without --json the last word is one line for the whole run, and each
  // unit's line names its line. Rows not read back are only known as sent.
  result = Run({"write", rows, "--no-verify"});
  EXPECT_THAT(result.out, HasSubstr("Com 1 unit 2: 1 row sent\n"));
  EXPECT_THAT(result.out, testing::EndsWith("4 units on 2 lines: 4 sent\n"));
}

TEST_F(CliTest, ReadAllBacksUpEveryUnitThatAnswersIntoOneFile) {
  sim::SimOptions options;
  options.units = {1, 4};
  StartSim(options);
  m_sim->SetUnitRow(4, 7, {1, 2, 3, 4});
  const std::string saved = m_dir + "/line.csv";
  const CliResult result = Run({"read", "--unit", "all", "-o", saved});
  ASSERT_EQ(result.status, 0) << result.err;
  const RowFile file = ReadRowFile(testsupport::ReadFile(saved));
  ASSERT_EQ(file.rows.size(), 16u);
  EXPECT_EQ(file.rows[0].unit, 1);
  EXPECT_EQ(file.rows[15].unit, 4);
  EXPECT_EQ(file.rows[15].channels, (std::array<int32_t, 4>{1, 2, 3, 4}));
}

TEST_F(CliTest, TwoNamesOfOneDeviceAreRefusedBeforeAnythingIsSent) {
  const CliResult result = Run({"store", "--unit", "1", "--port", "Com 1", "--port", m_dir + "/units"});
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.err, HasSubstr("are the same line"));
  EXPECT_TRUE(Frames().empty());
}

}  // namespace
