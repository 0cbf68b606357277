// dimlet-cli in the shell's plumbing: outputs that cannot be written, pipes
// and FIFOs as row files, standard input that never ends, signals while it
// waits, and profiles that are not what they seem. Each row is a way a script
// or a hostile user once made it report success for work not done.
#include <signal.h>

#include <chrono>
#include <thread>

#include "cli_fixture.h"

namespace {

using testing::HasSubstr;

struct ShellCase {
  const char* name;
  std::string script;  // run by bash in the test's folder; $CLI is dimlet-cli, rows.csv a row file for unit 1
  int status;
  std::string err;  // a part of standard error
  std::string out;  // a part of standard output
  bool sends;       // whether frames may reach the line
};

TEST_F(CliTest, ShellPlumbingNeverEndsInAFalseSuccess) {
  const ShellCase cases[] = {
      {"standard output and error closed before the start", "\"$CLI\" store --unit 1 >&- 2>&-", 0, "", "", true},
      {"standard output on a full disk", "\"$CLI\" scan > /dev/full", 1,
       "standard output could not be written: No space left on device", "", true},
      {"standard input without end", "(echo sequence,ch1,ch2,ch3,ch4; yes 1,1,2,3,4) | \"$CLI\" write --unit 1 -", 2,
       "stdin: over 64 MiB", "", false},
      {"read into /dev/stdout appended to a log",
       "echo before > log.txt && \"$CLI\" read --unit 1 --sequence 1 -o /dev/stdout >> log.txt && cat log.txt", 0, "",
       "before\nunit,sequence,ch1,ch2,ch3,ch4\n1,1,", true},
      {"read into /dev/stdout in a pipe", "\"$CLI\" read --unit 1 --sequence 1 -o /dev/stdout | cat", 0, "",
       "unit,sequence,ch1,ch2,ch3,ch4\n1,1,", true},
      {"rows read into /dev/stdout redirected to a file read back whole",
       "\"$CLI\" read --unit 1 --sequence 1 -o /dev/stdout > back.csv && \"$CLI\" verify back.csv", 0, "",
       "unit 1: 1 row as expected", true},
      {"rows read onto the unit line itself", "\"$CLI\" read --unit 1 --sequence 1 -o units", 1,
       "units: a terminal line", "", true},
      {"a FIFO that nobody opens to read the rows, then a stop",
       "mkfifo out && { \"$CLI\" read --unit 1 --sequence 1 -o out & sleep 1; kill -TERM $!; wait $!; }", 1,
       "out: stopped by a signal while waiting for a reader", "", true},
      {"a reader that leaves early",
       "\"$CLI\" write --unit 0-7 rows.csv --no-verify | head -1; exit ${PIPESTATUS[0]}", 128 + SIGPIPE,
       "standard output was closed; not written: unit ", "unit 0: 1 row sent", true},
      {"rows read into a pipe whose reader left before they were all read",
       "set -o pipefail; { sleep 0.5; \"$CLI\" read --unit all --sequence 1; } | true", 128 + SIGPIPE,
       "standard output was closed; not read: unit 0-7", "", true},
      {"ports into a pipe whose reader left", "set -o pipefail; { sleep 0.5; \"$CLI\" ports; } | true", 128 + SIGPIPE,
       "standard output was closed", "", false},
      {"the journal into a pipe whose reader left",
       "\"$CLI\" store --unit 1 && set -o pipefail && { sleep 0.5; \"$CLI\" journal; } | true", 128 + SIGPIPE,
       "standard output was closed", "", true},
      {"a trace FIFO whose reader left is named as the trace",
       "mkfifo t && { head -c 100 t > /dev/null & sleep 0.5; \"$CLI\" --trace t write --unit 0-7 rows.csv; }",
       128 + SIGPIPE, "--trace t: its reader left; not written: unit ", "", true},
      {"a trace that cannot be written: the JSON summary tells the status the run ends with",
       "\"$CLI\" --json --trace /dev/full scan", 1, "the byte trace could not be written",
       "\"event\":\"summary\",\"exit\":1,", true},
      {"a trace onto standard output among the JSON results", "\"$CLI\" --json --trace /dev/stdout scan", 2,
       "--trace /dev/stdout: standard output, which carries the JSON results", "", false},
      {"a trace onto standard output among the rows read", "\"$CLI\" read --unit 1 --trace /dev/stdout", 2,
       "--trace /dev/stdout: standard output, which carries the rows read", "", false},
      {"set-address ends with its summary as JSON", "\"$CLI\" --json set-address --unit 0 3", 1,
       "a unit already answers at address 3", "\"command\":\"set-address\"", true},
      {"scan of the lines an installation file names",
       "printf 'line,unit,sequence,ch1,ch2,ch3,ch4\\nCom 1,1,1,1,2,3,4\\n' > inst.csv && \"$CLI\" scan inst.csv", 0, "",
       "0\n1\n2\n3\n4\n5\n6\n7\n", true},
      {"rows from a process substitution", "\"$CLI\" write --unit 1 <(cat rows.csv)", 0, "",
       "unit 1: 1 row written and read back", true},
      {"rows from /dev/stdin on a pipe", "cat rows.csv | \"$CLI\" write --unit 1 /dev/stdin", 0, "",
       "unit 1: 1 row written and read back", true},
      {"help into a pipe whose reader left", "set -o pipefail; { sleep 0.5; \"$CLI\" help; } | true", 128 + SIGPIPE,
       "standard output was closed", "", false},
      {"a write stopped by a full disk says so once",
       "\"$CLI\" write --unit 0-7 rows.csv 2>err >/dev/full; s=$?; echo \"said $(grep -c 'No space' err)x\"; exit $s", 1,
       "", "said 1x", true},
      {"rows read onto a full disk say so once",
       "\"$CLI\" read --unit 1 --sequence 1 2>err >/dev/full; s=$?; echo \"said $(grep -c 'No space' err)x\"; exit $s",
       1, "", "said 1x", true},
      {"a user name and a line's name outside UTF-8 read back from the journal",
       "ln -sf units $'u\\xff' && USER=$'op\\xfe' \"$CLI\" --port ./$'u\\xff' store --unit 1 && "
       "\"$CLI\" journal --port ./$'u\\xff'",
       0, "", "op\\xfe@", true},
      {"a folder and a FIFO beside the journal by its old files' names",
       "j=.local/state/dimlet/journal.jsonl; \"$CLI\" store --unit 1 && mkdir -p $j.2 && mkfifo $j.3 && "
       "\"$CLI\" journal; s=$?; rm -rf $j.2 $j.3; exit $s",
       0, "journal.jsonl.3 is not a file of the journal (a FIFO): left out", "store", true},
      {"a trace over the journal", "\"$CLI\" --trace .local/state/dimlet/journal.jsonl run --unit 1", 2,
       "--trace .local/state/dimlet/journal.jsonl: the journal", "", false},
      {"rows read over the journal", "\"$CLI\" read --unit 1 -o .local/state/dimlet/journal.jsonl", 2,
       ".local/state/dimlet/journal.jsonl: the journal; the rows would replace it", "", false},
      {"a label with a right-to-left mark",
       "printf 'unit,sequence,ch1,ch2,ch3,ch4,label\\n1,1,0,0,0,0,\"Bar\\342\\200\\217 3, 4\"\\n' > rtl.csv && "
       "\"$CLI\" write rtl.csv",
       2, "label: \"Bar\\u200f 3, 4\" holds a control that reorders the text", "", false},
      {"a label with an Arabic letter mark",
       "printf 'unit,sequence,ch1,ch2,ch3,ch4,label\\n1,1,0,0,0,0,\"Bar\\330\\234 3, 4\"\\n' > alm.csv && "
       "\"$CLI\" write alm.csv",
       2, "label: \"Bar\\u061c 3, 4\" holds a control that reorders the text", "", false},
      {"a label with a joiner, which reorders nothing",
       "printf 'unit,sequence,ch1,ch2,ch3,ch4,label\\n1,1,0,0,0,0,\"Bar\\342\\200\\2153\"\\n' > zwj.csv && "
       "\"$CLI\" write --dry-run zwj.csv",
       0, "", ",Bar\u200d3\n", false},
      {"a profile named but not there", "\"$CLI\" --profile typo.ini run --unit 1", 2, "--profile typo.ini: no such file",
       "", false},
      {"a Com entry named, with a folder at the profile's place",
       "mkdir -p d/dimlet.ini && XDG_CONFIG_HOME=$PWD/d \"$CLI\" --port 'Com 1' run --unit 5", 2,
       "Com 1: which line it stands for is not known: the profile ", "", false},
      {"the Com entry chosen by default, with a profile over the size bound",
       "mkdir -p big && truncate -s 65M big/dimlet.ini && XDG_CONFIG_HOME=$PWD/big \"$CLI\" store --unit 1", 2,
       "could not be read (File too large (over 64 MiB", "", false},
      {"a device path with a profile that cannot be read",
       "mkdir -p d/dimlet.ini && XDG_CONFIG_HOME=$PWD/d \"$CLI\" --port ./units store --unit 1", 0, "",
       "unit 1: told to store", true},
      {"--from-profile with a folder at the profile's place",
       "mkdir -p d/dimlet.ini && XDG_CONFIG_HOME=$PWD/d \"$CLI\" --port ./units write --from-profile --unit 1", 2,
       "d/dimlet.ini: could not be read: Is a directory", "", false},
      {"--from-profile with a profile of ports only",
       "printf '[Ports]\\nCom 1=units\\n' > ports.ini && \"$CLI\" --profile ports.ini write --from-profile --unit 1", 2,
       "ports.ini: holds no sequences", "", false},
      {"a Com Port Addr out of range means Com 1, as in the window",
       "printf '[Settings\\\\LED]\\nCom Port Addr=99\\n[Ports]\\nCom 1=units\\n' > p99.ini && "
       "\"$CLI\" --profile p99.ini store --unit 1",
       0, "", "unit 1: told to store its rows", true},
      {"a trace onto the unit line itself", "\"$CLI\" --trace units run --unit 1", 2, "--trace units: a terminal line",
       "", false},
      {"a trace of a line whose name holds control bytes",
       "ln -s units $'\\e[1mu' && \"$CLI\" --port ./$'\\e[1mu' --trace - run --unit 1", 0, "./\\x1b[1mu", "",
       true},
      {"ports with a control byte in a profile's device path",
       "printf '[Ports]\\nCom 4=/tmp/\\033[2Jx\\n' > esc.ini && \"$CLI\" --profile esc.ini ports", 0, "",
       "Com 4\t/tmp/\\x1b[2Jx\tmissing", false},
      {"RS-485 mode asked of a driver without it is named", "\"$CLI\" --rs485 run --unit 1", 0,
       "no RS-485 mode in this driver: used as it is", "", true},
      {"rows read into a folder that is not there, found before any unit is read",
       "\"$CLI\" read --unit 1 -o nowhere/rows.csv", 1, "nowhere/rows.csv: its folder nowhere cannot take a new file",
       "", false},
      {"rows read onto a folder", "mkdir -p saved && \"$CLI\" read --unit 1 -o saved", 1, "saved: a folder", "", false},
      {"a line option in the profile that is not understood is named, and its default used",
       "printf '[Ports]\\nCom 1=units\\nCom 1 Echo=yes\\n' > echo.ini && \"$CLI\" --profile echo.ini store --unit 1", 0,
       "Com 1 Echo \"yes\" in the profile is not understood: its default is used", "unit 1: told to store", true},
      {"a trace over the row file being sent",
       "cp rows.csv r.csv && \"$CLI\" write --unit 1 r.csv --trace r.csv; s=$?; cat r.csv; exit $s", 2,
       "--trace r.csv: the row file; the trace would replace it", "sequence,ch1,ch2,ch3,ch4\n1,1,2,3,4", false},
      {"a trace over the profile", "\"$CLI\" --trace dimlet.ini run --unit 1", 2, "--trace dimlet.ini: the profile",
       "", false},
      {"a trace into the file the rows are read into, not there yet",
       "\"$CLI\" read --unit 1 -o new.csv --trace ./new.csv", 2, "where the rows go (-o)", "", false},
      {"rows read over the profile", "\"$CLI\" read --unit 1 -o dimlet.ini", 2,
       "dimlet.ini: the profile; the rows would replace it", "", false},
      {"the system console is no unit line", "\"$CLI\" store --unit 1 --port /dev/console", 3, "/dev/console", "",
       false},
  };
  WriteProfile();
  File("rows.csv", "sequence,ch1,ch2,ch3,ch4\n1,1,2,3,4\n");
  for (const ShellCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_sim->ClearRecords();
    const CliResult result = RunShell(c.script);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.err));
    EXPECT_THAT(result.out, HasSubstr(c.out));
    const std::vector<Frame> frames = Frames();
    EXPECT_TRUE(c.sends || frames.empty()) << "frames were sent";
    size_t framed = 0;
    for (const Frame& frame : frames) framed += frame.size();
    EXPECT_EQ(m_sim->ReceivedBytes().size(), framed) << "bytes that are no frame reached the line";
  }
}

TEST_F(CliTest, StopWhileWaitingForRowsOnStandardInputEndsAtOnce) {
  WriteProfile();
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    std::unique_ptr<CliChild> writer = CliChild::Shell("exec \"$CLI\" write --unit 1 -", m_dir, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    writer->Signal(signal);
    const CliResult result = writer->Wait();  // the rows never come: standard input stays open
    EXPECT_EQ(result.status, 128 + signal);
    EXPECT_THAT(result.err, HasSubstr("stopped by a signal while waiting for rows; nothing was sent"));
    EXPECT_TRUE(Frames().empty());
  }
}

}  // namespace
