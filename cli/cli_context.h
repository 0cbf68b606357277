// What every dimlet-cli command shares: its arguments, the profile, the
// report and the byte trace; messages outside any line, and the run's end.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "cli/byte_trace_file.h"
#include "cli/cli_arguments.h"
#include "cli/cli_failure.h"
#include "cli/cli_journal.h"
#include "cli/cli_profile.h"
#include "cli/cli_report.h"
#include "cli/cli_run.h"
#include "cli/row_file.h"
#include "device/serial_link.h"

struct CliContext {
  const CliArguments& args;
  const CliStreams& streams;
  const CliProfile& profile;
  CliReport* report = nullptr;   // set once the lines are known
  ByteTraceFile* trace = nullptr;
  std::string* outFault = nullptr;  // why standard output failed, once it has
  // Set once a command has said that standard output failed (see
  // OutputFaultSaid); the run's end then says it no more.
  std::atomic<bool>* outFaultSaid = nullptr;
  CliJournal* journal = nullptr;    // where commands that change units are written down; none: not

  // "dimlet-cli: <words>" on standard error outside any line; returns the
  // failure's exit status. Every failure outside a line is said here.
  int Fail(const CliFailure& failure) const;
};

// A command stopped with `code` after saying why (LineSession::CheckStop), or
// said that its data could not go to standard output: when that was
// standard output's failure (kExitFailure: a full disk, not a signal), it is
// marked as said.
void OutputFaultSaid(const CliContext& context, int code);

// The exit status that tells more of two: a stop, then a usage fault, a
// failure, a port not opened, no answer, a difference, done.
int WorseExitStatus(int a, int b);

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

// Problems of a row file or the profile, each as "NAME:LINE: what" (or
// "NAME: what" for the file as a whole), and how many more were found.
// Returns kExitUsage.
int ReportProblems(const CliContext& context, const std::string& name, const std::vector<FileProblem>& problems,
                   size_t unlisted = 0);
