// Shared parts of the dimlet-cli commands: the lines chosen, opened
// exclusively as the window opens them, worked side by side, and checked
// after every frame; the byte trace; messages outside any line.
#include "cli/cli_context.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ostream>
#include <thread>

#include "cli/line_identity.h"
#include "cli/row_file.h"
#include "cli/stop_signals.h"
#include "device/byte_trace.h"
#include "device/link_words.h"
#include "device/network_address.h"
#include "settings/port_map.h"

ByteTraceFile::~ByteTraceFile() {
  std::string ignored;  // a trace left open is closed on an early return, already failed
  int status = 0;
  Close(&ignored, &status);
}

bool ByteTraceFile::Open(const std::string& name, const std::vector<KeptFile>& kept, std::string* error) {
  m_name = name;
  if (name == "-") {
    m_file = stderr;
    return true;
  }
  std::string why;
  m_file = OpenTraceTarget(name, &why, kept);
  if (!m_file) {
    *error = "--trace " + why;
    return false;
  }
  m_own = true;
  return true;
}

void ByteTraceFile::Byte(const std::string& line, CSerialLink::TraceDirection direction, uint8_t byte,
                         std::chrono::steady_clock::time_point at) {
  // In the window's format, so one reader takes both programs' traces.
  const std::string text = TraceLine(direction, byte, at, line) + '\n';
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_file || m_failure != 0) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size() || std::fflush(m_file) != 0) {
    m_failure = errno != 0 ? errno : EIO;
  }
}

bool ByteTraceFile::ReaderLeft() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_failure == EPIPE;
}

bool ByteTraceFile::Close(std::string* error, int* status) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_file) return true;
  errno = 0;
  if (m_failure == 0 && (std::fflush(m_file) != 0 || std::ferror(m_file))) m_failure = errno != 0 ? errno : EIO;
  if (m_own && std::fclose(m_file) != 0 && m_failure == 0) m_failure = errno;
  m_file = nullptr;
  if (m_failure == 0) return true;
  if (m_failure == EPIPE) {
    *error = "--trace " + m_name + ": its reader left; the trace ends there";
    *status = kExitClosedPipe;
  } else {
    *error = std::string("the byte trace could not be written: ") + std::strerror(m_failure);
    *status = kExitFailure;
  }
  return false;
}

int CliContext::Fail(int code, const std::string& message) const {
  if (report) report->EndProgress();
  streams.err << "dimlet-cli: " << Printable(message) << '\n' << std::flush;
  return code;
}

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
    return true;
  }
  const std::string why = link_words::StateWords(m_link);
  Message(m_port.name + ": " + why);
  Result({{"event", "line fault"}, {"message", why}, {"exit", kExitPortNotOpen}});
  ++Counts().lineFaults;
  return false;
}

std::string LineSession::CheckFrames(const std::string& what) {
  // The first frame after opening may still owe its echo: settled here, a
  // late one is that frame's fault, not the next frame's (which would then
  // not be sent at all), nor lost when the line closes.
  m_link.SettleEcho();
  // A line that went away says so in the window's words; one still open
  // says how the frame failed.
  std::string why;
  if (!m_link.IsPortOpen()) {
    why = link_words::FaultWords(m_link.LastFault());
  } else if (m_link.LastFrame() != CSerialLink::FrameOutcome::kSent) {
    why = link_words::FrameWords(m_link);
  }
  if (why.empty()) return why;
  // A frame whose echo stopped or came late, or whose answer came late, left
  // whole; one cut short by a wrong echo or a stray byte may have left whole
  // if that was its last byte.
  using Outcome = CSerialLink::FrameOutcome;
  const Outcome outcome = m_link.LastFrame();
  const char* how = " did not leave whole: ";
  if (m_link.IsPortOpen() &&
      (outcome == Outcome::kEchoMissing || outcome == Outcome::kNoEcho || outcome == Outcome::kEchoLate ||
       outcome == Outcome::kAnswerLate)) {
    how = " was sent, but ";
  } else if (m_link.IsPortOpen() && (outcome == Outcome::kEchoWrong || outcome == Outcome::kEchoUnexpected ||
                                     outcome == Outcome::kStrayBytes)) {
    how = " may not have left whole: ";
  }
  const std::string said = what + how + why;
  Message(m_port.name + ": " + said);
  Result({{"event", "line fault"}, {"message", said}, {"exit", kExitFailure}});
  ++Counts().lineFaults;
  return why;
}

int LineSession::CheckStop(const std::string& undone) {
  std::string why;
  const int code = StopStatus(m_context, &why);
  if (code != kExitDone) Message(why + "; " + undone);
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

void LineSession::Journal(JournalEntry entry) const {
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

bool ChooseLines(const CliContext& context, const std::vector<std::string>& fileLines,
                 std::vector<PortChoice>* lines, std::string* error) {
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
      *error = (port.comEntry ? port.label + " (" + address + ")" : address) + ": " + problem;
      return false;
    }
    const std::string device = port.Network() ? port.path : LineIdentity(port.path);
    for (size_t i = 0; i < devices.size(); ++i) {
      if (devices[i] == device) {
        *error = (*lines)[i].name + " and " + port.name + " are the same line";
        return false;
      }
    }
    devices.push_back(device);
    lines->push_back(port);
  }
  return true;
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
  for (int code : codes) worst = Worse(worst, code);
  return worst;
}

int Worse(int a, int b) {
  auto rank = [](int code) {
    switch (code) {
      case kExitDone: return 0;
      case kExitDifferent: return 1;
      case kExitNoAnswer: return 2;
      case kExitPortNotOpen: return 3;
      case kExitFailure: return 4;
      case kExitUsage: return 5;
      default: return 6;  // stopped by a signal
    }
  };
  return rank(b) > rank(a) ? b : a;
}

int ReportProblems(const CliContext& context, const std::string& name, const std::vector<FileProblem>& problems,
                   size_t unlisted) {
  std::string text;
  for (const FileProblem& problem : problems) {
    text += Printable(name);
    if (problem.line > 0) text += ':' + std::to_string(problem.line);
    text += ": " + problem.what + '\n';
  }
  if (unlisted > 0) text += Printable(name) + ": ... and " + std::to_string(unlisted) + " more\n";
  context.streams.err << text << std::flush;
  return kExitUsage;
}

int CloseTrace(const CliContext& context, int code) {
  std::string error;
  int status = kExitDone;
  if (context.trace && !context.trace->Close(&error, &status)) code = Worse(code, context.Fail(status, error));
  return code;
}

int Summarize(const CliContext& context, const std::string& doneWords, bool dataOnOut, int code) {
  code = CloseTrace(context, code);
  CliReport& report = *context.report;
  const Tally t = report.Total();
  const size_t lines = std::max<size_t>(report.Lines(), 1);
  report.ClosingResult({{"event", "summary"},
                        {"command", CommandName(context.args)},
                        {"lines", lines},
                        {"units", t.units},
                        {"done", t.done},
                        {"stored", t.stored},
                        {"different", t.different},
                        {"no_answer", t.noAnswer},
                        {"not_reached", t.notReached},
                        {"line_faults", t.lineFaults},
                        {"exit", code}});
  // A scan's list is its summary.
  if ((t.units <= 1 && lines <= 1) || doneWords.empty()) return code;
  auto count = [](int n, const char* one, const char* many) { return std::to_string(n) + ' ' + (n == 1 ? one : many); };
  std::string text = count(t.units, "unit", "units") + " on " + count(static_cast<int>(lines), "line", "lines") + ":";
  std::vector<std::string> parts;
  if (t.done > 0 || t.units == 0) parts.push_back(std::to_string(t.done) + ' ' + doneWords);
  if (t.different > 0) parts.push_back(std::to_string(t.different) + (t.different == 1 ? " holds" : " hold") + " other rows");
  if (t.noAnswer > 0) parts.push_back(std::to_string(t.noAnswer) + " did not answer");
  if (t.notReached > 0) parts.push_back(std::to_string(t.notReached) + " not reached");
  if (t.lineFaults > 0) parts.push_back(count(t.lineFaults, "line fault", "line faults"));
  for (size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? " " : ", ") + parts[i];
  report.Closing(text, !dataOnOut);
  return code;
}

std::string NoUnitCauses(const CSerialLink& link) {
  std::string causes = "Likely causes:";
  const int latency = link.LatencyTimerMs();
  const int limit = LatencyLimitMs(link.AnswerWaitMs());
  if (latency > limit) {
    causes += " the adapter holds answers back for " + std::to_string(latency) + " ms (its latency timer), above the " +
              std::to_string(limit) + " ms an answer allows;";
  }
  if (link.Echoes() == true) {
    causes += " the line returns what it sends (echo): the units may answer over it, check the echo setting;";
  }
  return causes + " the wrong port (is this the line the units are on?); silence: units without power, the bus "
                  "not wired or its wires swapped";
}
