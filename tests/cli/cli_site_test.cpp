// dimlet-cli over a labelled installation, against the simulated line: the
// handover report of a site with a unit as planned, one that differs and one
// that is silent; a re-write of only the rows a unit does not hold; and the
// journal those commands leave.
#include <csignal>

#include <nlohmann/json.hpp>
#include <regex>

#include "cli_fixture.h"

namespace {

using nlohmann::json;
using testing::AllOf;
using testing::HasSubstr;
using testing::Not;

// "Bühne links, Wash": a comma and a letter outside ASCII, quoted as CSV does.
const std::string kStage = "B\xC3\xBChne links, Wash";

// Each unit's box on the page: (unit, verdict), in page order.
std::vector<std::pair<int, std::string>> Verdicts(const std::string& page) {
  std::vector<std::pair<int, std::string>> found;
  const std::regex box("<div class=\"unit\" data-line=\"[^\"]*\" data-unit=\"([0-7])\" data-verdict=\"([a-z ]+)\">");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), box); it != std::sregex_iterator(); ++it) {
    found.emplace_back(std::stoi((*it)[1]), (*it)[2]);
  }
  return found;
}

TEST_F(CliTest, TheReportNamesEveryUnitWithItsVerdictAndShowsLabelsAsText) {
  sim::SimOptions options;
  options.units = {0, 1, 5};
  StartSim(options);
  WriteProfile();
  m_sim->SetUnitRow(0, 0, {10, 20, 30, 40});
  m_sim->SetUnitRow(1, 0, {50, 60, 70, 80});
  m_sim->ClearRecords();
  // Unit 1 holds 80 where the plan has 81; unit 2 is not on the line; unit 5
  // answers but is not planned.
  const std::string site = File("site.csv", "# site: Theater am Ring\n# company: Licht & Ton\n"
                                            "# technician: Ana Lopes\n"
                                            "unit,sequence,ch1,ch2,ch3,ch4,label\n"
                                            "0,1,10,20,30,40,\"" + kStage + "\"\n"
                                            "1,1,50,60,70,81,Bar 3\n"
                                            "2,1,1,2,3,4,<script>alert(1)</script>\n");
  CliResult result = Run({"report", site, "-o", m_dir + "/report.html"});
  EXPECT_EQ(result.status, 4) << result.err;
  EXPECT_THAT(result.err, HasSubstr("unit 2 (<script>alert(1)</script>): did not answer"));
  const std::string page = testsupport::ReadFile(m_dir + "/report.html");
  EXPECT_EQ(Verdicts(page), (std::vector<std::pair<int, std::string>>{
                                {0, "as planned"}, {1, "differs"}, {2, "no answer"}, {5, "not in the plan"}}));
  EXPECT_THAT(page, HasSubstr("<h1>Handover report: Theater am Ring</h1>"));
  EXPECT_THAT(page, HasSubstr("<h3>Com 1 unit 0 \xE2\x80\x94 <span class=\"label\">" + kStage + "</span>"));
  EXPECT_THAT(page, HasSubstr("<td>Company</td><td>Licht &amp; Ton</td>"));
  EXPECT_THAT(page, HasSubstr("<td>Echo</td><td>the line does not echo</td>"));
  EXPECT_THAT(page, HasSubstr("&lt;script&gt;alert(1)&lt;/script&gt;"));
  EXPECT_THAT(page, Not(HasSubstr("<script")));
  EXPECT_THAT(page, Not(testing::ContainsRegex("(src|href)=")));  // nothing fetched from elsewhere
  // Scans and reads only: no frame that changes a unit.
  for (const Frame& frame : Frames()) EXPECT_EQ(frame[1], 0x52) << "a frame other than read-row went out";

  // In the computer's zone and in UTC; a technician named on the command
  // line wins over the file's; JSON Lines with numbers as numbers.
  result = RunShell("TZ=CET-1 $CLI report site.csv --technician 'Bo Berg' --json");
  EXPECT_EQ(result.status, 4);
  std::vector<json> objects;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) objects.push_back(json::parse(line));
  ASSERT_EQ(objects.size(), 7u) << result.out;
  EXPECT_EQ(objects[0].at("technician"), "Bo Berg");
  EXPECT_THAT(objects[0].at("time").get<std::string>(), testing::EndsWith(" CET (+0100)"));
  auto hour = [&objects](const char* key) { return std::stoi(objects[0].at(key).get<std::string>().substr(11, 2)); };
  EXPECT_EQ(hour("time"), (hour("time_utc") + 1) % 24);
  EXPECT_EQ(objects[1].at("answer_wait_ms"), 30);
  EXPECT_EQ(objects[1].at("echo"), false);
  const json& unit1 = objects[3];
  EXPECT_EQ(objects[2].at("label"), kStage);
  EXPECT_EQ(unit1.at("verdict"), "differs");
  EXPECT_EQ(unit1.at("held").at(0).at(3), 80);
  EXPECT_EQ(unit1.at("plan").at(0).at(3), 81);
  EXPECT_EQ(objects[4].at("held").at(0).at(0), nullptr);
  EXPECT_EQ(objects[6].at("event"), "summary");
  EXPECT_EQ(objects[6].at("not_in_the_plan"), 1);
  EXPECT_EQ(objects[6].at("exit"), 4);

  // Stopped: the page written before stays, not one with units unread.
  const std::string before = testsupport::ReadFile(m_dir + "/report.html");
  m_sim->ClearRecords();
  CliChild stopped({"report", site, "-o", m_dir + "/report.html"}, m_dir, "");
  ASSERT_TRUE(m_sim->WaitForFrames(1, std::chrono::seconds(10)));
  stopped.Signal(SIGINT);
  result = stopped.Wait();
  EXPECT_EQ(result.status, 130) << result.err;
  EXPECT_THAT(result.err, HasSubstr("the report was not written"));
  EXPECT_EQ(testsupport::ReadFile(m_dir + "/report.html"), before);

  // The line lost during the scan: no unit was read, none is said to be
  // silent, and the page names the fault.
  m_sim->SetLogSink([this](const std::string&) { m_sim->HangUp(); });
  result = Run({"report", site, "-o", m_dir + "/report.html"});
  m_sim->SetLogSink({});
  EXPECT_EQ(result.status, 1) << result.err;
  const std::string lost = testsupport::ReadFile(m_dir + "/report.html");
  EXPECT_EQ(Verdicts(lost), (std::vector<std::pair<int, std::string>>{{0, "not read"}, {1, "not read"}, {2, "not read"}}));
  EXPECT_THAT(lost, Not(HasSubstr("Did not answer")));
  EXPECT_THAT(lost, HasSubstr("<p class=\"fault\">the line failed during the scan: connection lost</p>"));
  EXPECT_THAT(result.err, HasSubstr("report written to " + m_dir + "/report.html; it shows 3 units not read"));
}

// What the page says of a whole site in a client's words: a unit that answers
// but is not planned keeps the summary from "all as planned", a line that
// could not be opened says why once, and a unit whose answer stops short
// differs by what it did send.
TEST_F(CliTest, TheReportsSummaryAndFaultsAreInPlainWords) {
  sim::SimOptions options;
  options.units = {0, 5};
  StartSim(options);
  WriteProfile();
  m_sim->SetUnitRow(0, 0, {10, 20, 30, 40});
  const std::string site = File("site.csv", "unit,sequence,ch1,ch2,ch3,ch4\n0,1,10,20,30,40\n");
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> shown;
    std::vector<std::string> notShown;
    int answerBytes = 4;  // of each answer's four, the rest never sent
    int ch1Held = 10;     // what unit 0 holds in sequence 1's CH1, where the plan has 10
  } cases[] = {
      {"a unit not in the plan", {},
       {"<div class=\"summary mixed\"", "the planned units as planned, 1 unit answers that is not in the plan"},
       {"all as planned", "summary good"}},
      {"a line that could not be opened", {"--port", m_dir + "/nothing"},
       {"the line could not be opened: "}, {"not open", "summary good"}},
      {"answers without their last channel, one channel sent off the plan", {},
       {"data-unit=\"0\" data-verdict=\"differs\"", "differs; sequences 1-8 did not answer; 8 rows read again"},
       {"data-unit=\"0\" data-verdict=\"no answer\""}, 3, 11},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_sim->SetAnswerBytes(c.answerBytes);
    m_sim->SetUnitRow(0, 0, {c.ch1Held, 20, 30, 40});
    std::vector<std::string> args = {"report", site, "-o", m_dir + "/report.html"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Run(args);
    const std::string page = testsupport::ReadFile(m_dir + "/report.html");
    for (const std::string& text : c.shown) EXPECT_THAT(page, HasSubstr(text));
    for (const std::string& text : c.notShown) EXPECT_THAT(page, Not(HasSubstr(text)));
  }
}

TEST_F(CliTest, WriteChangedSendsOnlyTheRowThatDiffersTheJournalKeepsWhatWasSentAndABackupKeepsTheSite) {
  StartSim();
  WriteProfile();
  std::string rows = "# site: Theater, main stage\n# technician: Ana Lopes\nunit,sequence,ch1,ch2,ch3,ch4,label\n";
  for (int s = 1; s <= 8; ++s) rows += "3," + std::to_string(s) + ",1,2,3," + std::to_string(s) + ",\"" + kStage + "\"\n";
  for (int s = 1; s <= 8; ++s) m_sim->SetUnitRow(3, s - 1, {1, 2, 3, s});
  // One channel of sequence 6 is not what the file says.
  m_sim->SetUnitRow(3, 5, {1, 2, 99, 6});
  m_sim->ClearRecords();
  const std::string site = File("site.csv", rows);
  CliResult result = Run({"write", "--changed", "--store", site});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("unit 3 (" + kStage + "): 8 rows, 7 already in place, 1 written and read back, stored"));
  std::vector<Frame> writes;
  for (const Frame& frame : Frames()) {
    if (frame[1] == 0x57) writes.push_back(frame);
  }
  EXPECT_EQ(writes, (std::vector<Frame>{WriteRowFrame(3, 5, 1, 2, 3, 6), {0xA3, 0x57, 0x53}}));
  EXPECT_EQ(m_sim->Unit(3).stored[5], (std::array<int, 4>{1, 2, 3, 6}));
  // Again, with everything in place: nothing is said to be written.
  const CliResult again = Run({"write", "--changed", "--json", site});
  EXPECT_THAT(again.out, AllOf(HasSubstr(R"("in_place":8)"), HasSubstr(R"("written":false)")));
  EXPECT_THAT(again.err + again.out, Not(HasSubstr("written and verified")));
  // A backup in the installation's form reads back as the same site.
  const std::string backup = m_dir + "/backup.csv";
  EXPECT_EQ(Run({"read", "--like", site, "-o", backup}).status, 0);
  EXPECT_THAT(testsupport::ReadFile(backup), AllOf(HasSubstr("# site: Theater, main stage\n"), HasSubstr(kStage)));
  EXPECT_EQ(Run({"verify", backup}).status, 0);

  result = Run({"journal", "--unit", "3", "--json"});
  EXPECT_EQ(result.status, 0) << result.err;
  std::vector<json> lines;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].at("command"), "write");
  EXPECT_EQ(lines[0].at("rows"), json::parse("[[6,1,2,3,6]]"));
  EXPECT_EQ(lines[0].at("label"), kStage);
  EXPECT_EQ(lines[0].at("outcome"), "done");
  EXPECT_EQ(lines[0].at("program"), "dimlet-cli");
  EXPECT_EQ(lines[0].at("technician"), "Ana Lopes");
  EXPECT_EQ(lines[1].at("command"), "store");
  EXPECT_EQ(Run({"journal", "--unit", "2"}).out, "");
  EXPECT_EQ(Run({"journal", "--since", "2999-01-01"}).out, "");
  for (const char* typo : {"2026-13-01", "2026-02-30", "2026-12-00", "2026-12-08T24:00", "2026-12-08T22:99"}) {
    EXPECT_EQ(Run({"journal", "--since", typo}).status, 2) << typo << " is no time, not a time after every change";
  }
  EXPECT_THAT(Run({"journal"}).out,
              AllOf(HasSubstr("  Ana Lopes ("), HasSubstr("unit 3 (" + kStage + ")  write 6:(1,2,3,6)  done\n")));
}

}  // namespace
