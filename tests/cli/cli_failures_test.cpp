// How dimlet-cli fails: each class of failure has its exit status and its
// message, bad input never reaches the line, and a difference between what a
// unit holds and what it was sent is found.
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "cli/row_file.h"
#include "cli_fixture.h"
#include "support/files.h"
#include "device/serial_link.h"

namespace {

using testing::HasSubstr;

struct BadInputCase {
  const char* name;
  const char* file;  // nullptr: no row file
  std::vector<std::string> args;  // "FILE" stands for the row file
  std::string message;  // "FILE" stands for the row file's path
};

TEST_F(CliTest, BadInputIsReportedByLineAndNothingIsSent) {
  const char* header = "unit,sequence,ch1,ch2,ch3,ch4\n";
  const BadInputCase cases[] = {
      {"value above 255", "unit,sequence,ch1,ch2,ch3,ch4\n1,1,0,0,256,0\n", {"write", "FILE"},
       "FILE:2: ch3: 256 is outside 0-255"},
      {"negative value", "unit,sequence,ch1,ch2,ch3,ch4\n\n1,1,-1,0,0,0\n", {"write", "FILE"},
       "FILE:3: ch1: -1 is outside 0-255"},
      {"sequence 0 (they count from 1)", "sequence,ch1,ch2,ch3,ch4\n0,1,2,3,4\n", {"write", "--unit", "1", "FILE"},
       "FILE:2: sequence: 0 is outside 1-8"},
      {"unit 8", "unit,sequence,ch1,ch2,ch3,ch4\n8,1,1,2,3,4\n", {"verify", "FILE"}, "FILE:2: unit: 8 is outside 0-7"},
      {"row given twice", "unit,sequence,ch1,ch2,ch3,ch4\n1,2,1,2,3,4\n# again\n1,2,5,6,7,8\n", {"write", "FILE"},
       "FILE:4: unit 1, sequence 2 is given twice (first on line 2)"},
      {"missing column", "unit,sequence,ch1,ch2,ch3,ch4\n1,2,1,2,3\n", {"write", "FILE"}, "FILE:2: a missing column"},
      {"extra column", "unit,sequence,ch1,ch2,ch3,ch4\n1,2,1,2,3,4,5\n", {"write", "FILE"}, "FILE:2: an extra column"},
      {"not a number", "unit,sequence,ch1,ch2,ch3,ch4\n1,2,1,two,3,4\n", {"write", "FILE"},
       "FILE:2: ch2: \"two\" is not a number"},
      {"no header", "1,2,1,2,3,4\n", {"write", "FILE"}, "FILE:1: the first line must be the header"},
      {"the last bad line is found too", "unit,sequence,ch1,ch2,ch3,ch4\n1,1,1,1,1,1\n1,2,1,1,1,x\n", {"write", "FILE"},
       "FILE:3: ch4"},
      {"unit column and --unit", "unit,sequence,ch1,ch2,ch3,ch4\n1,1,1,1,1,1\n", {"write", "--unit", "2", "FILE"},
       "leave out --unit"},
      {"no unit column and no --unit", "sequence,ch1,ch2,ch3,ch4\n1,1,1,1,1\n", {"write", "FILE"},
       "say which units with --unit"},
      {"no row for the sequence asked", "unit,sequence,ch1,ch2,ch3,ch4\n1,1,1,1,1,1\n", {"write", "FILE", "--sequence", "2"},
       "holds no row for sequence 2"},
      {"no such file", nullptr, {"write", "/no/such/rows.csv"}, "/no/such/rows.csv: no such file"},
      {"unknown command", nullptr, {"program"}, "unknown command \"program\""},
      {"mistyped command", nullptr, {"sacn"}, "unknown command \"sacn\" (did you mean scan?"},
      {"mistyped option", nullptr, {"read", "--uni", "1"}, "unknown option \"--uni\" (did you mean --unit?"},
      {"unit list out of range", nullptr, {"store", "--unit", "0,9"}, "--unit takes unit addresses 0-7"},
      {"address out of range", nullptr, {"set-address", "--unit", "1", "8"}, "NEW address 0-7"},
      {"highest sequence out of range", nullptr, {"set-highest", "--unit", "1", "9"}, "VALUE 1-8"},
      {"option the command does not take", nullptr, {"scan", "--store"}, "scan does not take --store"},
      {"read without a unit", nullptr, {"read"}, "read needs --unit N"},
      {"a port that is neither", nullptr, {"run", "--unit", "1", "--port", "COM9"}, "--port takes"},
      {"an empty profile name, with no standard stream to offer", nullptr, {"run", "--unit", "1", "--profile="},
       "--profile needs a file\n"},
  };
  WriteProfile();
  for (const BadInputCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = c.file ? File("rows.csv", std::string(c.file)) : "";
    std::vector<std::string> args = c.args;
    for (std::string& a : args) {
      if (a == "FILE") a = path;
    }
    std::string message = c.message;
    if (message.rfind("FILE", 0) == 0) message.replace(0, 4, path);
    const CliResult result = Run(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr(message));
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(m_sim->ReceivedBytes().empty()) << "the line is silent";
  }
  (void)header;
}

TEST_F(CliTest, EveryProblemOfAFileIsListedAtOnce) {
  const std::string path =
      File("rows.csv", "unit,sequence,ch1,ch2,ch3,ch4\n1,1,300,0,0,0\n1,2,0,0,0\n1,1,0,0,0,0\n");
  const CliResult result = Run({"write", path});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, path + ":2: ch1: 300 is outside 0-255\n" + path +
                            ":3: a missing column: 5 values where the header has 6 (unit,sequence,ch1,ch2,ch3,ch4)\n");
}

TEST_F(CliTest, ProfileCellThatIsNoByteIsNotSent) {
  WriteProfile("[Settings\\LED]\nSEQ 1\\CH 2=1000\nSEQ 4\\CH 0=bright\n");
  const CliResult result = Run({"write", "--from-profile", "--unit", "1"});
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.err, HasSubstr("SEQ 1\\CH 2 (sequence 2, ch3) is 1000, outside 0-255"));
  EXPECT_THAT(result.err, HasSubstr("SEQ 4\\CH 0 is \"bright\", not a number"));
  EXPECT_TRUE(m_sim->ReceivedBytes().empty());
}

struct AnswerCase {
  const char* name;
  std::vector<int> units;  // present on the line; empty: a silent line
  std::vector<std::string> args;
  int status;
  std::string message;  // a part of standard error, or of standard output when status is 0
  bool changeSent;      // whether a frame that changes a unit (change-address, write-row, store) may go out
  int shared = -1;      // the simulator's second unit's address; -1: none
};

TEST_F(CliTest, CommandsThatDependOnAnswersSayWhatAnswered) {
  const std::string rows = File("rows.csv", "sequence,ch1,ch2,ch3,ch4\n1,1,2,3,4\n2,5,6,7,8\n");
  const AnswerCase cases[] = {
      {"set-address onto an address in use", {0, 5}, {"set-address", "--unit", "0", "5"}, 1,
       "a unit already answers at address 5", false},
      {"set-address done only once the unit answers there", {0}, {"set-address", "--unit", "0", "3"}, 0,
       "unit 0: now answers at address 3", true},
      {"set-address forced onto a unit's address that the unit did not take", {0, 5},
       {"set-address", "--unit", "0", "5", "--force"}, 1, "unit 0: still answers at address 0 after the change", true},
      {"set-address that no unit took", {}, {"set-address", "--unit", "0", "3"}, 4,
       "no unit answers at address 3 after the change; none answers at address 0 either", true},
      {"scan of a silent line", {}, {"scan"}, 4, "no unit answers. Likely causes:", false},
      {"write of the rows that differ to a unit whose read-first got no answer", {1},
       {"write", "--changed", "--no-verify", "--unit", "3", rows}, 4, "unit 3: did not answer; nothing sent", false},
      {"check of two units at one address, whose bytes garble differently each read", {0, 3}, {"check"}, 0,
       "two units may share address 3: sequence ", false, 3},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_sim.reset();
    sim::SimOptions options;
    options.units = c.units;
    options.silent = c.units.empty();
    options.sharedAddress = c.shared;
    StartSim(options);
    const CliResult result = Run(c.args);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_THAT(c.status == 0 ? result.out : result.err, HasSubstr(c.message));
    bool changed = false;
    for (const Frame& frame : Frames()) {
      changed = changed || (frame.size() == 4 && frame[2] == 0x4A) || (frame.size() > 1 && frame[1] == 0x57);
    }
    EXPECT_EQ(changed, c.changeSent);
  }
}

struct FrameFaultCase {
  const char* name;
  bool holdLine;       // the line's output suspended, as flow control holds it
  std::string script;  // $CLI is dimlet-cli, rows.csv a row file for --unit
  std::string message;
  int echoLateMs = 0;  // a line that returns what it is sent this late (after the profile's 30 ms wait)
  const char* json = "";  // what standard output's JSON says of the unit
};

TEST_F(CliTest, AFrameThatDidNotLeaveWholeIsNeverReportedAsDone) {
  const FrameFaultCase cases[] = {
      {"store on a held line", true, "\"$CLI\" store --unit 5", "unit 5: store did not leave whole: the frame did not "
                                                             "leave the port within 1 s"},
      {"write without read-back on a held line", true, "\"$CLI\" write --unit 2 rows.csv --no-verify",
       "unit 2: write-row of sequence 1 did not leave whole: the frame did not leave the port within 1 s"},
      {"echo asked for on a line that returns nothing", false, "\"$CLI\" run --unit 1 --echo on",
       "unit 1: run was sent, but the line returned nothing of what was sent: it does not echo, so the echo setting "
       "is wrong"},
      {"scan with echo asked for on a line that does not echo", false, "\"$CLI\" scan --echo on",
       "if it does not echo, the echo setting is wrong (set it to auto or off)"},
      {"read with echo asked for on a line that does not echo", false, "\"$CLI\" read --unit 1 --echo on",
       "if it does not echo, the echo setting is wrong (set it to auto or off)"},
      {"echo set on in the Com entry",
       false,
       "printf '[Ports]\\nCom 1=units\\nCom 1 Echo=on\\n' > echo.ini && \"$CLI\" --profile echo.ini run --unit 1",
       "the echo setting is wrong"},
      {"one frame to each unit on a line that echoes late", false, "\"$CLI\" store --unit 1,2 --json",
       "unit 1: store was sent, but the line returns what is sent", 70, R"("outcome":"sent, not confirmed")"},
  };
  WriteProfile();
  File("rows.csv", "sequence,ch1,ch2,ch3,ch4\n1,1,2,3,4\n");
  for (const FrameFaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    // Each case on a line of its own: the rest of an answer an earlier case
    // cut short would be the first thing the next one finds.
    m_sim.reset();
    sim::SimOptions options;
    options.echo = c.echoLateMs > 0;
    options.latencyMs = c.echoLateMs;
    StartSim(options);
    const int held = c.holdLine ? open(m_sim->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) : -1;
    ASSERT_TRUE(!c.holdLine || tcflow(held, TCOOFF) == 0);
    const CliResult result = RunShell(c.script);
    if (held >= 0) {
      tcflow(held, TCOON);
      close(held);
    }
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr(c.message));
    EXPECT_THAT(result.out, testing::Not(HasSubstr("told"))) << "reported as done";
    EXPECT_THAT(result.out, testing::Not(HasSubstr("written"))) << "reported as done";
    EXPECT_THAT(result.out, HasSubstr(c.json));
    if (c.echoLateMs > 0) {
      m_sim.reset();
      StartSim();
    }
  }
  // The Com entry's setting gives way to the command line's.
  EXPECT_EQ(RunShell("\"$CLI\" --profile echo.ini run --unit 1 --echo off").status, 0);
}

TEST_F(CliTest, TraceHasEveryByteWithItsTimeDirectionAndLine) {
  const std::string trace = m_dir + "/trace.txt";
  ASSERT_EQ(Run({"set-highest", "--unit", "3", "8", "--trace", trace}).status, 0);
  std::istringstream lines(testsupport::ReadFile(trace));
  std::vector<std::string> bytes;
  long long last = 0;
  std::string line;
  while (std::getline(lines, line)) {
    long long micros = 0;
    char name[16] = {}, direction[16] = {};
    unsigned byte = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lld %15s %2x %15[^\n]", &micros, direction, &byte, name), 4) << line;
    EXPECT_GE(micros, last) << "time goes forward";
    last = micros;
    bytes.push_back(std::string(name) + ' ' + direction + ' ' + std::to_string(byte));
  }
  EXPECT_EQ(bytes, (std::vector<std::string>{"Com 1 sent 163", "Com 1 sent 87", "Com 1 sent 81", "Com 1 sent 8"}));
}

struct VerifyCase {
  const char* name;
  sim::SimOptions options;
  int status;
  std::string message;
};

TEST_F(CliTest, VerifyFindsAUnitThatDoesNotHoldWhatWasSent) {
  sim::SimOptions partial;
  partial.answerBytes = 2;
  sim::SimOptions absent;
  absent.units = {0, 2};
  const VerifyCase cases[] = {
      {"unit answers two bytes of four", partial, 4, "unit 1, sequence 3: CH3 did not answer"},
      {"no unit at the address: one line, not one per row", absent, 4, "dimlet-cli: unit 1: did not answer\n"},
  };
  for (const VerifyCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_sim.reset();
    StartSim(c.options);
    const CliResult result = Run({"write", File("rows.csv", "sequence,ch1,ch2,ch3,ch4\n1,1,2,3,4\n3,5,6,7,8\n"),
                                  "--unit", "1", "--store"});
    EXPECT_EQ(result.status, c.status);
    EXPECT_THAT(result.err, HasSubstr(c.message));
    EXPECT_THAT(result.err, HasSubstr("unit 1: not told to store"));
    for (const Frame& frame : Frames()) EXPECT_NE(frame, (Frame{0xA1, 0x57, 0x53})) << "store was sent";
  }
}

TEST_F(CliTest, VerifyListsEachDifferingChannelAndExitsFive) {
  StartSim();
  m_sim->SetUnitRow(3, 1, {10, 21, 30, 41});
  m_sim->SetUnitRow(3, 4, {1, 2, 3, 4});
  const std::string rows = File("rows.csv", "unit,sequence,ch1,ch2,ch3,ch4\n3,2,10,20,30,40\n3,5,1,2,3,4\n");
  const CliResult result = Run({"verify", rows});
  EXPECT_EQ(result.status, 5);
  EXPECT_EQ(result.err,
            "dimlet-cli: unit 3, sequence 2, CH2: expected 20, the unit holds 21\n"
            "dimlet-cli: unit 3, sequence 2, CH4: expected 40, the unit holds 41\n");
  EXPECT_EQ(Frames(), (std::vector<Frame>{ReadRowFrame(3, 1), ReadRowFrame(3, 4)})) << "verify only reads";
}

struct InPartCase {
  const char* name;
  std::vector<std::string> args;
  size_t reads;       // read-row frames the unit heard
  std::string shown;  // on standard output: the summary's words, or the JSON's count
};

// The simulated unit answers three bytes of four every time: the row is
// asked for again as often as --retries says, counted, and still fails.
TEST_F(CliTest, ARowAnsweredInPartIsAskedAgainCountedAndStillFailsWhenItRepeats) {
  sim::SimOptions partial;
  partial.answerBytes = 3;
  StartSim(partial);
  const std::string out = m_dir + "/unit.csv";
  const std::vector<std::string> read = {"read", "--unit", "1", "--sequence", "2", "-o", out};
  auto with = [&read](std::vector<std::string> more) {
    more.insert(more.begin(), read.begin(), read.end());
    return more;
  };
  const InPartCase cases[] = {
      {"one more try by default", with({}), 2, "1 unit on 1 line: 1 did not answer, 1 row read again"},
      {"as often as --retries says", with({"--retries", "3", "--json"}), 4, "\"read_again\":3"},
      {"--retries 0: one try, as the window has it", with({"--retries", "0", "--json"}), 1, "\"read_again\":0"},
  };
  for (const InPartCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_sim->ClearRecords();
    const CliResult result = Run(c.args);
    EXPECT_EQ(result.status, 4);
    EXPECT_THAT(result.err, HasSubstr("unit 1, sequence 2: CH4 did not answer"));
    EXPECT_EQ(Frames(), std::vector<Frame>(c.reads, ReadRowFrame(1, 1)));
    EXPECT_THAT(result.out, HasSubstr(c.shown));
    struct stat info {};
    EXPECT_NE(stat(out.c_str(), &info), 0) << "a row file in part was written";
  }
  // A write's journal entry counts the rows its read-back asked for again.
  const CliResult written = Run({"write", File("rows.csv", "sequence,ch1,ch2,ch3,ch4\n2,1,2,3,4\n"), "--unit", "1"});
  EXPECT_EQ(written.status, 4);
  EXPECT_THAT(testsupport::ReadFile(m_dir + "/.local/state/dimlet/journal.jsonl"), HasSubstr("\"read_again\":1,"));
}

TEST_F(CliTest, OutputThatCannotBeWrittenIsAFailureOfItsOwn) {
  const CliResult result = Run({"read", "--unit", "1", "--sequence", "1", "-o", m_dir + "/no-folder/unit.csv"});
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("no-folder"));
}

TEST_F(CliTest, PortHeldByTheWindowsLinkIsInUse) {
  StartSim();
  CSerialLink window([this](int32_t) { return m_sim->SlavePath(); });
  ASSERT_EQ(window.OpenPort(1, 9600), 1);
  const CliResult result = Run({"store", "--unit", "1"});
  EXPECT_EQ(result.status, 3);
  EXPECT_THAT(result.err, HasSubstr("Com 1 (" + m_dir + "/units): not open: in use by another program"));
  EXPECT_TRUE(m_sim->ReceivedBytes().empty());
}

TEST_F(CliTest, ARunningCommandHoldsThePortAgainstTheWindowAndASecondCommand) {
  WriteProfile();
  // Eight rows to eight units, about two seconds; not read back, so that a
  // late answer on a busy machine cannot change how it ends.
  std::string rows = "sequence,ch1,ch2,ch3,ch4\n";
  for (int s = 1; s <= 8; ++s) rows += std::to_string(s) + ",1,2,3,4\n";
  CliChild writer({"write", File("rows.csv", rows), "--unit", "0-7", "--no-verify"}, m_dir, "");
  ASSERT_TRUE(m_sim->WaitForFrames(1, std::chrono::seconds(10)));

  CSerialLink window([this](int32_t) { return m_sim->SlavePath(); });
  EXPECT_EQ(window.OpenPort(1, 9600), 0);
  EXPECT_EQ(window.LastFault(), CSerialLink::Fault::kInUse);

  CliChild second({"store", "--unit", "1"}, m_dir, "");
  const CliResult refused = second.Wait();
  EXPECT_EQ(refused.status, 3);
  EXPECT_THAT(refused.err, HasSubstr("in use by another program"));

  const CliResult written = writer.Wait();
  EXPECT_EQ(written.status, 0) << written.err;
  for (const sim::FrameRecord& frame : m_sim->Frames()) EXPECT_NE(frame.bytes, (Frame{0xA1, 0x57, 0x53}));
  // Once it has ended, the port is free again.
  EXPECT_EQ(window.OpenPort(1, 9600), 1);
}

TEST_F(CliTest, LineLostWhileWritingIsAFailureNotASuccess) {
  WriteProfile();
  // Gone once unit 0's second row has come whole, among its eight: the unit
  // holds some rows, so it is not "not reached".
  int frames = 0;
  m_sim->SetLogSink([this, &frames](const std::string&) {
    if (++frames == 2) m_sim->HangUp();
  });
  std::string rows = "sequence,ch1,ch2,ch3,ch4\n";
  for (int s = 1; s <= 8; ++s) rows += std::to_string(s) + ",1,2,3,4\n";
  CliChild writer({"write", File("rows.csv", rows), "--unit", "0-7", "--json"}, m_dir, "");
  const CliResult result = writer.Wait();
  m_sim->SetLogSink({});
  EXPECT_EQ(result.status, 1);
  // The hang-up may come before the next frame's first byte or among its
  // bytes: either is said as it was.
  EXPECT_THAT(result.err, testing::ContainsRegex("the last sent whole\\)(: not sent| did not leave whole): connection lost"));
  EXPECT_THAT(result.out, HasSubstr("\"line\":\"Com 1\",\"outcome\":\"cut short\",\"read_again\":0,\"rows_sent\":"));
  EXPECT_THAT(result.out, testing::Not(HasSubstr("\"outcome\":\"not reached\",\"unit\":0}")));
  EXPECT_THAT(result.out, HasSubstr("\"outcome\":\"not reached\",\"unit\":1}"));
  EXPECT_THAT(result.out, HasSubstr("\"not_confirmed\":1,\"not_reached\":7"));
}

struct KeptFileCase {
  const char* name;
  std::vector<int> units;  // present on the line
  std::string unitList;    // read's --unit
  int signal;              // sent once the second unit is being read; 0: none
  int status;
  std::string why;
};

TEST_F(CliTest, AReadStoppedOrInPartNeverReplacesTheFileItWasToWrite) {
  const KeptFileCase cases[] = {
      {"Ctrl-C", {0, 1, 2, 3, 4, 5, 6, 7}, "all", SIGINT, 130, "the read was stopped"},
      {"SIGTERM", {0, 1, 2, 3, 4, 5, 6, 7}, "all", SIGTERM, 143, "the read was stopped"},
      {"a unit that did not answer", {1}, "1,5", 0, 4, "the read is not whole"},
  };
  const std::string backup = m_dir + "/backup.csv";
  const std::string beside = m_dir + "/backup.partial.csv";
  WriteProfile();
  for (const KeptFileCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_sim.reset();
    sim::SimOptions options;
    options.units = c.units;
    StartSim(options);
    const std::string whole = "unit,sequence,ch1,ch2,ch3,ch4\n7,1,1,2,3,4\n";
    File("backup.csv", whole);
    unlink(beside.c_str());
    CliChild reader({"read", "--unit", c.unitList, "-o", backup}, m_dir, "");
    if (c.signal != 0) {
      // The scan's eight frames and one of the second unit's.
      ASSERT_TRUE(m_sim->WaitForFrames(17, std::chrono::seconds(10)));
      reader.Signal(c.signal);
    }
    const CliResult result = reader.Wait();
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(testsupport::ReadFile(backup), whole) << "the file was replaced";
    EXPECT_THAT(result.err, HasSubstr(backup + " is kept as it was: " + c.why + "; "));
    EXPECT_THAT(result.err, HasSubstr(" read went to " + beside + "\n"));
    const RowFile read = ReadRowFile(testsupport::ReadFile(beside));
    EXPECT_TRUE(read.problems.empty());
    EXPECT_GE(read.rows.size(), 8u);
    EXPECT_EQ(read.rows.size() % 8, 0u) << "only whole units";
  }
}

TEST_F(CliTest, StopSignalEndsAtAWholeUnitNeverInsideAFrame) {
  WriteProfile();
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    m_sim->ClearRecords();
    CliChild writer({"write", File("rows.csv", "sequence,ch1,ch2,ch3,ch4\n1,1,2,3,4\n2,1,2,3,4\n"), "--unit", "0-7"},
                    m_dir, "");
    ASSERT_TRUE(m_sim->WaitForFrames(1, std::chrono::seconds(10)));
    writer.Signal(signal);
    const CliResult result = writer.Wait();
    EXPECT_EQ(result.status, 128 + signal);
    EXPECT_THAT(result.err, HasSubstr("stopped by a signal; not written: unit 1-7"));
    const std::vector<sim::FrameRecord> frames = m_sim->Frames();
    size_t bytes = 0;
    for (const sim::FrameRecord& frame : frames) {
      bytes += frame.bytes.size();
      EXPECT_EQ(frame.bytes[0], 0xA0) << "only unit 0 was spoken to: " << frame.text;
    }
    EXPECT_EQ(frames.size(), 4u) << "unit 0's rows written and read back";
    EXPECT_EQ(bytes, m_sim->ReceivedBytes().size()) << "a frame was left in part";
  }
}

}  // namespace
