// The lines a dimlet-cli command works: chosen, opened exclusively as the
// window opens them, worked side by side, and checked after every frame.
#include "cli/line_session.h"

#include <algorithm>
#include <thread>

#include "cli/line_identity.h"
#include "cli/stop_signals.h"
#include "device/link_words.h"
#include "device/network_address.h"
#include "device/wire_journal.h"
#include "settings/port_map.h"

LineSession::LineSession(const CliContext& context, const PortChoice& port, size_t index)
    : m_context(context), m_port(port), m_index(index) {}

bool LineSession::Open() {
  const std::string path = m_port.path;
  m_link.SetPortResolver([path](int32_t) { return path; });
  m_link.SetLineOptions(m_port.options);
  for (const ReplacedValue& value : m_port.unread) Message(m_port.name + ": " + UnreadWords(value));
  if (ByteTraceFile* trace = m_context.trace) {
    const std::string label = m_port.label;  // TraceLine escapes its control bytes
    m_link.SetByteTrace([trace, label](CSerialLink::TraceDirection direction, uint8_t byte,
                                       std::chrono::steady_clock::time_point at) {
      trace->Byte(label, direction, byte, at);
    });
  }
  if (m_link.OpenPort(m_port.comEntry, kLineBaud)) {
    // Asked for RS-485 mode: whether the driver gave it is worth a word.
    if (m_port.options.rs485 && !m_link.LineNotes().empty()) Message(m_port.name + ": " + m_link.LineNotes());
    if (const int dropped = m_link.DroppedAtOpen(); dropped > 0) {
      // Left by someone before (a run with another echo setting, a late
      // answer): they answer nothing of this run's, and are said.
      const std::string words = std::to_string(dropped) + (dropped == 1 ? " byte" : " bytes") +
                                " waiting on the line before the first frame, dropped";
      Message(m_port.name + ": " + words);
      Result({{"event", "line"}, {"dropped_at_open", dropped}, {"message", words}});
    }
    return true;
  }
  const std::string why = link_words::StateWords(m_link);
  Message(m_port.name + ": " + why);
  Result({{"event", "line fault"}, {"message", why}, {"exit", kExitPortNotOpen}});
  ++Counts().lineFaults;
  return false;
}

bool LineSession::FramesSent(const std::string& what) {
  // The first frame after opening may still owe its echo: settled here, a
  // late one is that frame's fault, not the next frame's (which would then
  // not be sent at all), nor lost when the line closes.
  m_link.SettleEcho();
  // A line that went away says so in the window's words; one still open
  // says how the frame failed.
  std::string why;
  if (!m_link.IsPortOpen() && m_link.LastFrame() != CSerialLink::FrameOutcome::kHeld) {
    why = link_words::FaultWords(m_link.LastFault());
  } else if (m_link.LastFrame() != CSerialLink::FrameOutcome::kSent) {
    why = link_words::FrameWords(m_link);
  }
  if (why.empty()) return true;
  // How far the frame got is the link's record of it: no byte left, some
  // (or one whose leaving cannot be known), or all of it.
  m_lastFrameLeft = FrameLeftWords(m_link.LastRecord());
  const std::string left = m_lastFrameLeft;
  const std::string how = left == "sent, not confirmed"   ? " was sent, but "
                           : left == "did not leave whole" ? " did not leave whole: "
                                                           : ": " + left + ": ";
  const std::string said = what + how + why;
  Message(m_port.name + ": " + said);
  Result({{"event", "line fault"}, {"message", said}, {"exit", kExitFailure}});
  ++Counts().lineFaults;
  return false;
}

int LineSession::CheckStop(const std::string& undone, std::string* why) {
  std::string words;
  const int code = StopStatus(m_context, &words);
  if (code != kExitDone) Message(words + "; " + undone);
  if (why) *why = words;
  return code;
}

int StopStatus(const CliContext& context, std::string* why) {
  // A pipe whose reader left ends the run here, as a stop does, before the
  // next write to it would find out.
  const bool outClosed = context.report->OutputClosed();
  if (StopAsked() || outClosed) {
    const bool pipeClosed = outClosed || StopWasClosedOutput();
    *why = "stopped by a signal";
    if (pipeClosed) {
      const bool trace = !outClosed && context.trace && context.trace->ReaderLeft();
      *why = trace ? "--trace " + context.trace->Name() + ": its reader left" : "standard output was closed";
    }
    return pipeClosed ? kExitClosedPipe : 128 + StopSignal();
  }
  *why = context.report->OutputFault();
  return why->empty() ? kExitDone : OutputFaultStatus(*why);
}

void LineSession::Journal(JournalEntry entry) {
  // What went on the wire is read from the link's records of the frames sent
  // since the last entry; what the command asked for is kept beside it.
  const std::vector<CSerialLink::FrameRecord> records = m_link.TakeRecords();
  const WireJournal wire = WireJournalOf(records);
  entry.askedRows = std::move(entry.rows);
  entry.askedValue = entry.value;
  entry.rows = wire.rows;
  entry.value = entry.askedValue ? wire.value : std::nullopt;
  if (!m_context.journal) return;
  const std::string told = m_context.journal->Append(m_port.path, std::move(entry));
  if (!told.empty()) Message(told);
}

unit_operations::RowProgress LineSession::RowProgressFor(int unit, const std::string& verb) const {
  return [this, unit, verb](int done, int total) {
    m_context.report->Progress(m_index, "unit " + std::to_string(unit) + ": " + verb + " row " +
                                            std::to_string(done) + " of " + std::to_string(total));
  };
}

unit_operations::Retries LineSession::Retries() {
  return {m_context.args.retries, [this](int32_t, unit_operations::RetryCause) {
            ++m_retried;
            ++Counts().readAgain;
          }};
}

CliChecked ChooseLines(const CliContext& context, const std::vector<std::string>& fileLines,
                       std::vector<PortChoice>* lines) {
  const CliArguments& args = context.args;
  std::vector<std::string> names = !args.ports.empty() ? args.ports : fileLines;
  if (names.empty()) names.push_back("");
  std::vector<std::string> devices;  // what each chosen line is on this machine
  lines->clear();
  for (const std::string& name : names) {
    PortChoice port = ChoosePort(context.profile, name);
    if (args.echo) port.options.echo = *args.echo;
    if (args.answerWaitMs) port.options.answerWaitMs = *args.answerWaitMs;
    if (args.rs485) port.options.rs485 = true;
    // What the command line sets, the profile's unreadable value does not decide.
    std::erase_if(port.unread, [&](const ReplacedValue& value) {
      return (args.echo && value.key == EchoKey(port.comEntry)) ||
             (args.answerWaitMs && value.key == AnswerWaitKey(port.comEntry)) ||
             (args.rs485 && value.key == Rs485Key(port.comEntry));
    });
    // A name that cannot be a line is a wrong command line or file: no line is opened.
    if (const std::string problem = LineNameProblem(port.path); !problem.empty()) {
      const std::string address = ShownAddress(port.path);
      return UsageFailure((port.comEntry ? port.label + " (" + address + ")" : address) + ": " + problem);
    }
    const std::string device = port.Network() ? port.path : LineIdentity(port.path);
    for (size_t i = 0; i < devices.size(); ++i) {
      if (devices[i] == device) {
        return UsageFailure((*lines)[i].name + " and " + port.name + " are the same line");
      }
    }
    devices.push_back(device);
    lines->push_back(port);
  }
  return {};
}

std::vector<std::string> LineLabels(const std::vector<PortChoice>& lines) {
  std::vector<std::string> labels;
  for (const PortChoice& line : lines) labels.push_back(line.label);
  return labels;
}

int WorkLines(const CliContext& context, const std::vector<PortChoice>& lines,
              const std::function<int(LineSession&)>& work) {
  std::vector<int> codes(lines.size(), kExitDone);
  auto runLine = [&](size_t i) {
    LineSession session(context, lines[i], i);
    codes[i] = work(session);
    context.report->LineDone(i);
  };
  if (lines.size() == 1) {
    runLine(0);
  } else {
    // One thread and one link per line: the lines' pauses overlap.
    std::vector<std::thread> threads;
    for (size_t i = 0; i < lines.size(); ++i) threads.emplace_back(runLine, i);
    for (std::thread& thread : threads) thread.join();
  }
  int worst = kExitDone;
  for (int code : codes) worst = WorseExitStatus(worst, code);
  return worst;
}
