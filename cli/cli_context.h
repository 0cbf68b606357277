// What every dimlet-cli command shares: its arguments, the profile, the
// report, the byte trace, and each line opened and checked as it works.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_arguments.h"
#include "cli/cli_journal.h"
#include "cli/cli_profile.h"
#include "cli/cli_report.h"
#include "cli/cli_run.h"
#include "cli/row_file.h"
#include "device/byte_trace.h"
#include "device/serial_link.h"
#include "device/unit_operations.h"

// Where --trace writes, shared by the lines' threads.
class ByteTraceFile {
 public:
  ~ByteTraceFile();
  // Opens `name` ("-": standard error); false with *error on failure, and
  // for any of the `kept` files the program reads (see OpenTraceTarget).
  bool Open(const std::string& name, const std::vector<KeptFile>& kept, std::string* error);
  bool IsOpen() const { return m_file != nullptr; }
  // One byte's line, as TraceLine (device/byte_trace.h) writes it.
  // Flushed at once, so that a reader sees each byte as it comes and a
  // reader that left is found at the next byte.
  void Byte(const std::string& line, CSerialLink::TraceDirection direction, uint8_t byte,
            std::chrono::steady_clock::time_point at);
  // Whether the trace went into a pipe or FIFO whose reader has left.
  bool ReaderLeft() const;
  // The trace's file as given to --trace.
  const std::string& Name() const { return m_name; }
  // False with *error when something could not be written; the exit status
  // for that in *status (128 + SIGPIPE when the reader left).
  bool Close(std::string* error, int* status);

 private:
  FILE* m_file = nullptr;
  std::string m_name;
  bool m_own = false;
  int m_failure = 0;  // the errno of the first write that failed
  mutable std::mutex m_mutex;
};

struct CliContext {
  const CliArguments& args;
  const CliStreams& streams;
  const CliProfile& profile;
  CliReport* report = nullptr;   // set once the lines are known
  ByteTraceFile* trace = nullptr;
  std::string* outFault = nullptr;  // why standard output failed, once it has
  CliJournal* journal = nullptr;    // where commands that change units are written down; none: not

  // "dimlet-cli: <message>" on standard error outside any line; returns `code`.
  int Fail(int code, const std::string& message) const;
};

// One line as a command works it: its link, opened with its options, and the
// checks after each frame.
class LineSession {
 public:
  LineSession(const CliContext& context, const PortChoice& port, size_t index);

  // Opens the line; false after saying why (in the window's words) and
  // counting a line fault.
  bool Open();
  // After frames were sent: empty while every frame went out whole and the
  // line is still open; otherwise says what did not leave (`what`, e.g.
  // "unit 3: write") and why, counts a line fault, and returns the words.
  std::string CheckFrames(const std::string& what);
  // When the command is to stop (see StopStatus): says why and what is left
  // undone, and returns the exit status for it; kExitDone otherwise.
  int CheckStop(const std::string& undone);

  void Message(const std::string& text) const { m_context.report->Message(m_index, text); }
  void Say(const std::string& text) const { m_context.report->Say(m_index, text); }
  void Result(const nlohmann::json& object) const { m_context.report->Result(m_index, object); }
  Tally& Counts() const { return m_context.report->TallyOf(m_index); }
  // Appends `entry` to the journal for this line; a journal that cannot be
  // written is said once, and the command goes on as it would have.
  void Journal(JournalEntry entry) const;
  // Row progress "unit N: <verb> row done of total".
  unit_operations::RowProgress RowProgressFor(int unit, const std::string& verb) const;

  CSerialLink& Link() { return m_link; }
  const PortChoice& Port() const { return m_port; }
  size_t Index() const { return m_index; }
  const CliContext& Context() const { return m_context; }

 private:
  const CliContext& m_context;
  PortChoice m_port;
  size_t m_index;
  CSerialLink m_link;
};

// Whether a command is to stop before its next unit: kExitDone while not;
// else the exit status, with *why: a stop signal, standard output (or the
// trace's pipe) closed by its reader, standard output that failed.
int StopStatus(const CliContext& context, std::string* why);

// The lines a command works: each --port, else `fileLines` (a row file's
// line column), else the profile's chosen line. False with *error when two
// names are one device.
bool ChooseLines(const CliContext& context, const std::vector<std::string>& fileLines,
                 std::vector<PortChoice>* lines, std::string* error);

// Runs `work` for each line, side by side on a thread each when there are
// several, and marks each line done in the report as it ends. Returns the
// worst of their exit statuses.
int WorkLines(const CliContext& context, const std::vector<PortChoice>& lines,
              const std::function<int(LineSession&)>& work);

// The exit status that tells more of two: a stop, then a failure, a port not
// opened, no answer, a difference, done.
int Worse(int a, int b);

// Closes the trace, when there is one, and returns the worse of `code` and
// the status of a trace that could not be written (saying why).
int CloseTrace(const CliContext& context, int code);

// The closing summary of a run, written after the trace is closed so that it
// tells the status the run ends with, which it returns: with --json one
// object, else (for more than one unit or line) "8 units on 2 lines: 7
// <doneWords>, 1 did not answer" on standard output, or on standard error
// when standard output carries the command's data.
int Summarize(const CliContext& context, const std::string& doneWords, bool dataOnOut, int code);

// The likely causes of a line on which no unit answers, as far as the link
// can tell them.
std::string NoUnitCauses(const CSerialLink& link);

// Reads the row file `name` ("-": standard input) and checks it whole. False
// with *code set after saying what is wrong (a usage fault, or a stop).
bool LoadRowFile(const CliContext& context, const std::string& name, RowFile* file, int* code);

// Problems of a row file or the profile, each as "NAME:LINE: what" (or
// "NAME: what" for the file as a whole), and how many more were found.
// Returns kExitUsage.
int ReportProblems(const CliContext& context, const std::string& name, const std::vector<FileProblem>& problems,
                   size_t unlisted = 0);

// The commands, one function each.
int RunPorts(const CliContext& context);
int RunScan(const CliContext& context);
// A unit command of unit_commands' table sent to each --unit: one that
// nothing confirms (store, run, stop, set-highest), and one that moves the
// unit to a new address, asked for before and after (set-address).
int RunUnitCommand(const CliContext& context);
int RunSetAddress(const CliContext& context);
int RunRead(const CliContext& context);
int RunWriteOrVerify(const CliContext& context);  // write and verify
int RunReport(const CliContext& context);         // the handover report
int RunJournal(const CliContext& context);        // the journal, filtered
