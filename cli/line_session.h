// One line as a dimlet-cli command works it: chosen from the command line,
// the row file or the profile, opened exclusively as the window opens it,
// worked side by side with the others, and checked after every frame.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/cli_context.h"
#include "device/serial_link.h"
#include "device/unit_operations.h"

// One line as a command works it: its link, opened with its options, and the
// checks after each frame.
class LineSession {
 public:
  LineSession(const CliContext& context, const PortChoice& port, size_t index);

  // Opens the line; false after saying why (in the window's words) and
  // counting a line fault.
  bool Open();
  // After frames were sent: true while each went as it should (whole, its
  // echo and answer in time) and the line is still open; otherwise says what
  // did not (`what`, e.g. "unit 3: write") and why, counts a line fault, and
  // returns false.
  bool FramesSent(const std::string& what);
  // How far the frame that FramesSent last refused got, as its record in
  // the link tells it: "not sent", "did not leave whole" or "sent, not
  // confirmed".
  const char* LastFrameLeft() const { return m_lastFrameLeft; }
  // Whether that frame did not leave at all: no byte of it reached the line.
  bool FrameNotSent() const { return std::string_view(m_lastFrameLeft) == kNotSent; }
  // When the command is to stop (see StopStatus): says why and what is left
  // undone, and returns the exit status for it (and the why in *why when
  // asked); kExitDone otherwise.
  int CheckStop(const std::string& undone, std::string* why = nullptr);

  void Message(const std::string& text) const { m_context.report->Message(m_index, text); }
  void Say(const std::string& text) const { m_context.report->Say(m_index, text); }
  void Result(const nlohmann::json& object) const { m_context.report->Result(m_index, object); }
  Tally& Counts() const { return m_context.report->TallyOf(m_index); }
  // Appends `entry` to the journal for this line, its rows or value as the
  // frames sent since the last entry put them on the wire (those it was
  // given are kept as asked); a journal that cannot be written is said once,
  // and the command goes on as it would have.
  void Journal(JournalEntry entry);
  // Row progress "unit N: <verb> row done of total".
  unit_operations::RowProgress RowProgressFor(int unit, const std::string& verb) const;
  // The further tries --retries gives a row after a fault that passes, each
  // counted in the line's tally and for the unit at work (TakeRetried).
  unit_operations::Retries Retries();
  // The further tries since the last call: the unit's, once it is done.
  int TakeRetried() { return std::exchange(m_retried, 0); }

  CSerialLink& Link() { return m_link; }
  const PortChoice& Port() const { return m_port; }
  size_t Index() const { return m_index; }
  const CliContext& Context() const { return m_context; }

 private:
  const CliContext& m_context;
  PortChoice m_port;
  size_t m_index;
  CSerialLink m_link;
  static constexpr const char* kNotSent = "not sent";
  const char* m_lastFrameLeft = kNotSent;
  int m_retried = 0;
};

// Whether a command is to stop before its next unit: kExitDone while not;
// else the exit status, with *why: a stop signal, standard output (or the
// trace's pipe) closed by its reader, standard output that failed.
int StopStatus(const CliContext& context, std::string* why);

// The lines a command works: each --port, else `fileLines` (a row file's
// line column), else the profile's chosen line. A usage failure when two
// names are one device or an address cannot be one.
CliChecked ChooseLines(const CliContext& context, const std::vector<std::string>& fileLines,
                       std::vector<PortChoice>* lines);

// Each line's label ("Com 1", or its device), in the order of `lines`: the
// names the report gives its lines.
std::vector<std::string> LineLabels(const std::vector<PortChoice>& lines);

// Runs `work` for each line, side by side on a thread each when there are
// several, and marks each line done in the report as it ends. Returns the
// worst of their exit statuses.
int WorkLines(const CliContext& context, const std::vector<PortChoice>& lines,
              const std::function<int(LineSession&)>& work);
