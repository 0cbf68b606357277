// What dimlet-cli tells: messages on standard error, data and results on
// standard output, per line in line order while the lines work side by side,
// and a tally of the outcomes for the summary at the end.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_run.h"

// How the units of a run ended, counted for the summary.
struct Tally {
  int units = 0;        // units worked (or meant to be)
  int done = 0;         // did all that was asked
  int stored = 0;
  int different = 0;    // hold other rows than expected
  int noAnswer = 0;     // did not answer (some or all of a row)
  int notReached = 0;   // left undone: a line fault, a stop
  int unconfirmed = 0;  // its frames went out, then the line failed before its end was known
  int lineFaults = 0;   // lines that could not be opened or failed in use
  int readAgain = 0;    // rows asked for again (or written again) after a fault that passed

  // The line failed at a unit, `units` counting it and those after it: the
  // unit is not confirmed when anything reached it, the rest not reached.
  void CountFailedAt(bool reached, size_t units) {
    unconfirmed += reached ? 1 : 0;
    notReached += static_cast<int>(units) - (reached ? 1 : 0);
  }
};

// "1 row read again", "3 rows read again": a row's further tries, each counted.
std::string ReadAgainWords(int tries);

// Why standard output failed, from the errno of the write: "standard output
// was closed" for a pipe whose reader left, else the system's words.
std::string OutputFaultWords(int err);
// The exit status for an output fault: 141 (128 + SIGPIPE) for a closed
// pipe, as a stop; else kExitFailure.
int OutputFaultStatus(const std::string& fault);

class CliReport {
 public:
  // `labels`: how each line is named in messages when there are several.
  // `outFault`, when given, receives why standard output failed, for the
  // run's last word.
  CliReport(const CliStreams& streams, bool quiet, bool json, std::vector<std::string> labels,
            std::string* outFault = nullptr);

  // "dimlet-cli: [line: ]text" on standard error, control bytes escaped.
  void Message(size_t line, const std::string& text);
  // A line of text on standard output, unless -q or --json; with several
  // lines, after the line's label ("Com 2 unit 0: ...").
  void Say(size_t line, const std::string& text);
  // With --json: `object` (with "line" added when there are lines) as one line
  // on standard output.
  void Result(size_t line, nlohmann::json object);
  // Text that is the command's data (a row file, a unit list), now; or kept
  // with line `line`'s output. Shown with -q too, not with --json.
  void Data(const std::string& text);
  void Data(size_t line, const std::string& text);
  // "\r<text>" on a terminal, overwriting the last; cleared by EndProgress.
  void Progress(size_t line, const std::string& text);
  void EndProgress();
  // After every line is done: a closing text (standard output or error) or
  // result, unless -q.
  void Closing(const std::string& text, bool toOut);
  void ClosingResult(const nlohmann::json& object);
  // Line `line` has finished: what it kept back may be shown now.
  void LineDone(size_t line);

  Tally& TallyOf(size_t line) { return m_tallies[line]; }
  Tally Total() const;

  bool Json() const { return m_json; }
  bool Quiet() const { return m_quiet; }
  const std::string& Label(size_t line) const { return m_labels[line]; }
  size_t Lines() const { return m_labels.size(); }

  // Empty while standard output takes what is written; else why it did not.
  std::string OutputFault() const;
  // Whether standard output is a pipe or FIFO whose reader has left, found
  // before anything more is written to it.
  bool OutputClosed() const;
  // Flushes standard output; false (OutputFault says why) when it failed.
  bool Finish();

 private:
  struct Held {
    std::string out;
    std::string err;
    bool done = false;
  };
  void Put(size_t line, bool toOut, const std::string& text);
  void CheckOut();

  const CliStreams& m_streams;
  bool m_quiet;
  bool m_json;
  std::vector<std::string> m_labels;
  std::vector<Tally> m_tallies;
  std::vector<Held> m_held;
  size_t m_live = 0;  // the line whose output goes straight out
  std::string m_outFault;
  std::string* m_outFaultTo;
  mutable std::mutex m_mutex;
};
