// Scenarios and their judge. The frames the judge expects are written here
// from the units' rules of speech, not taken from device/: a wrong byte in
// the link's frames cannot agree with itself.
#include "line_explorer.h"

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <map>
#include <optional>
#include <sstream>

#include "device/serial_link.h"
#include "device/unit_operations.h"

namespace explorer {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using testsupport::AnswerFault;
using testsupport::FarUnit;
using testsupport::HeardFrame;
using testsupport::kByteTime;
using testsupport::Origin;
using testsupport::ScriptedLine;
using testsupport::SentByte;
using testsupport::VirtualClock;
using testsupport::VirtualTime;
using unit_commands::UnitCommand;

uint8_t Low(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }
uint8_t Address(int unit) { return static_cast<uint8_t>(0xA0 | Low(unit)); }

// The bytes a command puts on the wire, as the units' rules of speech say.
std::vector<uint8_t> ExpectedFrame(UnitCommand command, int unit, std::span<const int32_t> v) {
  switch (command) {
    case UnitCommand::kWriteRow:
      return {Address(unit), 'W', Low(v[0]), Low(v[1]), Low(v[2]), Low(v[3]), Low(v[4])};
    case UnitCommand::kReadRow:
      return {Address(unit), 'R', Low(v[0])};
    case UnitCommand::kStore:
      return {Address(unit), 'W', 'S'};
    case UnitCommand::kRun:
      return {Address(unit), 'W', 'R'};
    case UnitCommand::kStop:
      return {Address(unit), 'W', 'T'};
    case UnitCommand::kChangeAddress:
      return {Address(unit), 'W', 'J', Low(v[0])};
    case UnitCommand::kHighestSequence:
      return {Address(unit), 'W', 'Q', std::min<uint8_t>(Low(v[0]), 8)};
  }
  return {};
}

const char* StepName(StepKind kind) {
  switch (kind) {
    case StepKind::kWriteRows: return "write";
    case StepKind::kReadRows: return "read";
    case StepKind::kVerifyRows: return "verify";
    case StepKind::kScan: return "scan";
    case StepKind::kCommand: return "command";
    case StepKind::kReadRow: return "read-row";
  }
  return "?";
}

template <class Duration>
long Ms10(Duration d) {  // tenths of a millisecond, for descriptions
  return static_cast<long>(std::chrono::duration_cast<microseconds>(d).count() / 100);
}

std::string Tenths(long tenths) {
  return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "");
}

// The judge of one scenario's run: the far end's record against what the
// link and the operations told.
class Oracle {
 public:
  Oracle(const Scenario& scenario, VirtualClock& clock, ScriptedLine& line)
      : m_scenario(scenario), m_clock(clock), m_line(line) {}

  std::vector<std::string>& Findings() { return m_findings; }
  // Frames that began before a step are not that step's, even where the
  // units finished hearing them only later.
  void StepBegins() { m_since = m_clock.Now(); }

  // A row taken at `now` from the read frame `frame`: whole, so each of its
  // four bytes must be the addressed unit's own answer, intact, in time, and
  // nothing else may have come around it.
  void RowTaken(const std::string& what, int frame, const std::array<uint8_t, 4>& channels,
                std::optional<VirtualTime> judgedAt = std::nullopt) {
    if (frame < 0) return Find(what + ": a row taken for a frame the units never heard whole");
    const HeardFrame& heard = m_line.Frames()[static_cast<size_t>(frame)];
    // Under an automatic wait, the longest a raised one may be.
    const auto wait = milliseconds(m_scenario.options.AnswerWaitAuto() ? kMaxAnswerWaitMs
                                                                        : std::max(m_scenario.options.answerWaitMs, 5));
    std::array<bool, 4> seen{};
    for (const SentByte& b : Around(frame, judgedAt.value_or(m_clock.Now()))) {
      if (b.origin == Origin::kEcho && b.frame == frame && b.intact) continue;
      if (b.origin != Origin::kAnswer || b.frame != frame || !(b.intact || b.flipped)) {
        return Find(what + ": a row taken while " + Foreign(b) + " came with it");
      }
      const int k = b.channel - 1;
      if (b.value != channels[static_cast<size_t>(k)] || seen[static_cast<size_t>(k)]) {
        return Find(what + ": channel " + std::to_string(b.channel) + " taken as another byte than the unit sent");
      }
      if (b.at > heard.at.back() + (k + 1) * wait) {
        return Find(what + ": channel " + std::to_string(b.channel) + " taken " +
                    Tenths(Ms10(b.at - heard.at.back())) + " ms after the frame, past its answer wait");
      }
      seen[static_cast<size_t>(k)] = true;
    }
    if (std::count(seen.begin(), seen.end(), true) != 4) {
      Find(what + ": a row taken although the unit's answer did not come whole");
    }
  }

  // A unit found at the frame's address: a unit there must have answered.
  void UnitFound(const std::string& what, int frame) {
    if (frame < 0) return Find(what + ": a unit found for a frame the units never heard whole");
    for (const SentByte& b : Around(frame, m_clock.Now())) {
      if (b.origin == Origin::kAnswer && b.frame == frame) return;
    }
    Find(what + ": a unit found where none answered");
  }

  // A frame told as sent: the units heard exactly its bytes, whole.
  void FrameLeft(const std::string& what, const std::vector<uint8_t>& expected, size_t heardFrom, size_t nth) {
    size_t whole = 0;
    for (size_t i = heardFrom; i < m_line.Frames().size(); ++i) {
      const HeardFrame& heard = m_line.Frames()[i];
      if (!heard.whole || heard.at.front() < m_since) continue;
      if (whole++ != nth) continue;
      if (heard.bytes != expected) return Find(what + ": told as sent, but the units heard other bytes");
      return;
    }
    Find(what + ": told as sent, but the units never heard it whole");
  }

  // The last read frame heard since `from`, if it asked `unit` for `row`.
  int LastRead(size_t from, int unit, int row) const {
    for (size_t i = m_line.Frames().size(); i > from; --i) {
      const HeardFrame& heard = m_line.Frames()[i - 1];
      if (!heard.read || heard.at.front() < m_since) continue;
      const std::vector<uint8_t> asked{Address(unit), 'R', Low(row)};
      return heard.whole && heard.bytes == asked ? static_cast<int>(i - 1) : -1;
    }
    return -1;
  }

  void Within(const std::string& what, VirtualTime start, milliseconds bound) {
    if (m_clock.Now() - start > bound) {
      Find(what + ": took " + std::to_string(std::chrono::duration_cast<milliseconds>(m_clock.Now() - start).count()) +
           " ms, past its bound of " + std::to_string(bound.count()) + " ms");
    }
  }

  void Find(const std::string& finding) { m_findings.push_back(finding); }

 private:
  // What the far end sent that arrived from the frame's first byte to `until`.
  std::vector<SentByte> Around(int frame, VirtualTime until) const {
    const VirtualTime from = m_line.Frames()[static_cast<size_t>(frame)].at.front() - kByteTime;
    std::vector<SentByte> bytes;
    for (const SentByte& b : m_line.Sent()) {
      if (b.at > from && b.at <= until) bytes.push_back(b);
    }
    return bytes;
  }

  static std::string Foreign(const SentByte& b) {
    switch (b.origin) {
      case Origin::kEcho: return b.intact ? "an earlier frame's echo" : "a garbled echo";
      case Origin::kAnswer: return b.intact ? "another frame's answer" : "a garbled answer byte";
      case Origin::kStray: return "a stray byte";
    }
    return "?";
  }

  const Scenario& m_scenario;
  VirtualClock& m_clock;
  ScriptedLine& m_line;
  VirtualTime m_since{};
  std::vector<std::string> m_findings;
};

// A generous bound for a step: every byte its 1000 ms write bound, every frame
// its longest answer wait and pauses.
milliseconds BoundOf(const Step& step) {
  const int frames = step.kind == StepKind::kScan      ? 8
                     : step.kind == StepKind::kCommand ? 1
                                                       : static_cast<int>(step.rows.size());
  // Each further try a read again, or a write and a read.
  const int tries = (1 + step.retries) * (step.justWritten ? 2 : 1);
  return milliseconds(frames * tries * (7 * 1003 + 400) + 200);
}

class Run {
 public:
  explicit Run(const Scenario& scenario)
      : m_scenario(scenario), m_line(m_clock, scenario.script), m_judge(scenario, m_clock, m_line) {
    m_link.SetClock(m_clock);
    m_link.SetLineOpener(m_line.Opener());
    m_link.SetLineOptions(scenario.options);
  }

  std::vector<std::string> Go() {
    m_link.OpenPort(1, kLineBaud);
    int n = 0;
    for (const Step& step : m_scenario.steps) {
      const std::string what = "step " + std::to_string(++n) + " (" + StepName(step.kind) + ")";
      const VirtualTime start = m_clock.Now();
      m_judge.StepBegins();
      Do(what, step);
      m_judge.Within(what, start, BoundOf(step));
      m_told.push_back({m_clock.Now(), what + " ends: " + std::to_string(static_cast<int>(m_link.LastFrame()))});
    }
    m_link.ClosePort();
    RecordsAsOnTheWire();
    return std::move(m_judge.Findings());
  }

  std::string Timeline() const {
    struct Event {
      VirtualTime at;
      std::string text;
    };
    std::vector<Event> events;
    char hex[8];
    for (const HeardFrame& frame : m_line.Frames()) {
      for (size_t i = 0; i < frame.bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%02x", frame.bytes[i]);
        events.push_back({frame.at[i], std::string("  heard ") + hex + (i + 1 == frame.bytes.size() && frame.whole ? " (whole)" : "")});
      }
    }
    for (const SentByte& b : m_line.Sent()) {
      std::snprintf(hex, sizeof hex, "%02x", b.value);
      static const char* const kOrigins[] = {"echo", "answer", "stray"};
      events.push_back({b.at, std::string("  sent ") + hex + " " + kOrigins[static_cast<int>(b.origin)] + " of frame " +
                                   std::to_string(b.frame) + (b.channel ? " ch" + std::to_string(b.channel) : "") +
                                   (b.intact ? "" : " garbled")});
    }
    for (const auto& [at, byte] : m_line.Taken()) {
      std::snprintf(hex, sizeof hex, "%02x", byte);
      events.push_back({at, std::string("  link took ") + hex});
    }
    for (const auto& [at, text] : m_told) events.push_back({at, text});
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
    std::string out;
    for (const Event& e : events) out += Tenths(Ms10(e.at - m_line.OpenedAt())) + " ms" + e.text + "\n";
    return out;
  }

 private:
  using FrameOutcome = CSerialLink::FrameOutcome;

  void Do(const std::string& what, const Step& step) {
    const size_t from = m_line.Frames().size();
    switch (step.kind) {
      case StepKind::kWriteRows: return WriteRows(what, step, from);
      case StepKind::kReadRows: return ReadRows(what, step, from);
      case StepKind::kVerifyRows: return VerifyRows(what, step, from);
      case StepKind::kScan: return Scan(what, from);
      case StepKind::kCommand: return Command(what, step, from);
      case StepKind::kReadRow: return ReadRow(what, step, from);
    }
  }

  // The link's records of its frames hold exactly the bytes that left, each
  // when it left, in order: what every output of the link is read from.
  void RecordsAsOnTheWire() {
    std::vector<std::pair<VirtualTime, uint8_t>> recorded;
    for (const CSerialLink::FrameRecord& record : m_link.TakeRecords()) {
      if (record.left.size() > record.frame.size) m_judge.Find("a record holds more bytes than its frame");
      for (const CSerialLink::TimedByte& b : record.left) recorded.emplace_back(b.at, b.value);
    }
    if (recorded != m_line.Received()) {
      m_judge.Find("the link's records hold " + std::to_string(recorded.size()) + " bytes that left, the line received " +
                   std::to_string(m_line.Received().size()));
    }
  }

  std::vector<unit_operations::UnitRow> RowsOf(const Step& step) const {
    std::vector<unit_operations::UnitRow> rows;
    for (size_t i = 0; i < step.rows.size(); ++i) rows.push_back({step.rows[i], step.values[i]});
    return rows;
  }

  void WriteRows(const std::string& what, const Step& step, size_t from) {
    int written = 0;
    // A row counts as sent only while the link is open: on a closed link the
    // rows go on, sending nothing.
    unit_operations::WriteRows(m_link, step.unit, RowsOf(step), [&](int done, int) {
      if (m_link.LastFrame() == FrameOutcome::kSent) written = done;
    });
    for (int i = 0; i < written; ++i) {
      const auto& v = step.values[static_cast<size_t>(i)];
      const int32_t values[] = {step.rows[static_cast<size_t>(i)], v[0], v[1], v[2], v[3]};
      m_judge.FrameLeft(what + " row " + std::to_string(step.rows[static_cast<size_t>(i)]),
                        ExpectedFrame(UnitCommand::kWriteRow, step.unit, values), from, static_cast<size_t>(i));
    }
  }

  // Each row's further tries, as the operation told them: no more than the
  // step allows, and only for a row the step asks for.
  unit_operations::Retries CountedRetries(const std::string& what, const Step& step) {
    m_tries.clear();
    return {step.retries, [this, what, &step](int32_t row, unit_operations::RetryCause) {
              const std::string name = what + " row " + std::to_string(row);
              if (std::find(step.rows.begin(), step.rows.end(), row) == step.rows.end()) {
                m_judge.Find(name + ": tried again, though not asked for");
              } else if (++m_tries[row] > step.retries) {
                m_judge.Find(name + ": tried again more often than allowed");
              }
            }};
  }

  void ReadRows(const std::string& what, const Step& step, size_t from) {
    unit_operations::ReadHooks hooks;
    // The frame judged is the last read heard: a row tried again is judged
    // by its last try, the one its answer came from.
    hooks.answered = [&](int32_t row, const CSerialLink::RowAnswer& answer) {
      const int frame = m_judge.LastRead(from, step.unit, row);
      if (answer.Whole()) m_judge.RowTaken(what + " row " + std::to_string(row), frame, answer.channels);
    };
    hooks.retries = CountedRetries(what, step);
    unit_operations::ReadRows(m_link, step.unit, step.rows, hooks);
  }

  void VerifyRows(const std::string& what, const Step& step, size_t from) {
    std::vector<VirtualTime> judged;
    std::vector<int> frames;  // each row's last read, as heard when it was done
    unit_operations::VerifyOptions options;
    options.progress = [&](int done, int) {
      judged.push_back(m_clock.Now());
      frames.push_back(m_judge.LastRead(from, step.unit, step.rows[static_cast<size_t>(done - 1)]));
    };
    options.retries = CountedRetries(what, step);
    options.justWritten = step.justWritten;
    const auto differences = unit_operations::VerifyRows(m_link, step.unit, RowsOf(step), options);
    for (size_t i = 0; i < step.rows.size(); ++i) {
      const bool differs = std::any_of(differences.begin(), differences.end(),
                                       [&](const auto& d) { return d.row == step.rows[i]; });
      if (differs) continue;
      const std::string row = what + " row " + std::to_string(step.rows[i]);
      if (i >= judged.size()) {
        m_judge.Find(row + ": verified without being read");
        continue;
      }
      std::array<uint8_t, 4> expected{};
      for (size_t k = 0; k < 4; ++k) expected[k] = Low(step.values[i][k]);
      m_judge.RowTaken(row, frames[i], expected, judged[i]);
    }
  }

  void Scan(const std::string& what, size_t from) {
    std::vector<int> foundAt;
    std::vector<bool> answered(8, false);
    const auto present = unit_operations::ScanUnits(m_link, [&](int done, int) {
      const int frame = m_judge.LastRead(from, done - 1, 0);
      foundAt.push_back(frame);
    });
    for (int32_t unit : present) {
      const size_t i = static_cast<size_t>(unit);
      m_judge.UnitFound(what + " unit " + std::to_string(unit), i < foundAt.size() ? foundAt[i] : -1);
    }
  }

  void Command(const std::string& what, const Step& step, size_t from) {
    const auto& row = unit_commands::RowOf(step.command);
    std::vector<int32_t> values(row.argumentCount, step.value);
    m_link.SendCommand(row.frame(step.unit, values));
    if (m_link.LastFrame() == FrameOutcome::kSent) {
      m_judge.FrameLeft(what + " " + row.name, ExpectedFrame(step.command, step.unit, values), from, 0);
    }
  }

  void ReadRow(const std::string& what, const Step& step, size_t from) {
    const CSerialLink::RowAnswer answer = m_link.ReadRowAnswer(step.unit, step.rows[0], true);
    if (m_link.LastFrame() == FrameOutcome::kSent && answer.Whole()) {
      m_judge.RowTaken(what + " row " + std::to_string(step.rows[0]), m_judge.LastRead(from, step.unit, step.rows[0]),
                       answer.channels);
    }
  }

  const Scenario& m_scenario;
  VirtualClock m_clock;
  ScriptedLine m_line;
  CSerialLink m_link;
  Oracle m_judge;
  std::vector<std::pair<VirtualTime, std::string>> m_told;
  std::map<int32_t, int> m_tries;  // the step's further tries, per row
};

template <class T, size_t N>
T PickOf(Choices& choices, const T (&options)[N]) {
  return options[static_cast<size_t>(choices.Pick(static_cast<int>(N)))];
}

void GenerateUnits(Choices& c, Scenario& s, bool echoesLate) {
  const int count = PickOf(c, {0, 1, 1, 1, 2, 2, 3});
  std::vector<int> free{0, 1, 2, 3, 4, 5, 6, 7};
  for (int i = 0; i < count; ++i) {
    FarUnit unit;
    const size_t at = static_cast<size_t>(c.Pick(static_cast<int>(free.size())));
    unit.address = free[at];
    free.erase(free.begin() + static_cast<long>(at));
    for (int r = 0; r < 8; ++r) {
      auto& row = unit.rows[static_cast<size_t>(r)];
      if (c.OneIn(8) && !echoesLate) {
        // A row that reads like its own read frame, as an echo would. (On a
        // line whose echo comes after the frame, such a row and the echo
        // interleave into bytes no single read can tell apart.)
        row = {Address(unit.address), 'R', static_cast<uint8_t>(r), static_cast<uint8_t>(c.Pick(256))};
      } else {
        for (auto& v : row) v = static_cast<uint8_t>(c.Pick(256));
      }
    }
    s.script.units.push_back(unit);
  }
  if (count > 0 && c.OneIn(10)) {
    FarUnit twin = s.script.units[static_cast<size_t>(c.Pick(count))];
    // Two units answering at exactly the same moment with equal rows, or far
    // enough apart that their answers do not merge into one of four bytes:
    // answers that merge exactly are beyond what one read can tell.
    twin.offset = PickOf(c, {microseconds(0), microseconds(1042), microseconds(3000), microseconds(5000)});
    if (twin.offset.count() != 0 && c.OneIn(2)) {
      for (auto& row : twin.rows) row[static_cast<size_t>(c.Pick(4))] ^= static_cast<uint8_t>(1 + c.Pick(255));
    }
    s.script.units.push_back(twin);
  }
}

void GenerateEcho(Choices& c, Scenario& s) {
  auto& echo = s.script.echo;
  if (!c.OneIn(2)) return;
  echo.echoes = true;
  echo.delay = PickOf(c, {microseconds(0), microseconds(500), microseconds(2000), microseconds(4000),
                          microseconds(8000), microseconds(16000), microseconds(30000), microseconds(60000),
                          microseconds(150000)});
  // An echo that comes after its frame is a fault of its own: dropped or
  // garbled as well, the bytes of two frames' echoes in part make four that
  // are neither an echo nor an answer to a reader.
  if (echo.delay > milliseconds(4)) return;
  if (c.OneIn(10)) echo.dropEvery = PickOf(c, {2, 5});
  if (c.OneIn(10)) echo.garbleByte = 1 + c.Pick(40);
}

void GenerateLine(Choices& c, Scenario& s) {
  auto& line = s.script;
  // Units answer within the longest answer wait: a byte later than that
  // lands where the next frame's answer is due, and no link can tell it
  // from that answer.
  // What the line returns reaches the link as late as its echo, answers too:
  // the answer's own delay is what is left of that.
  const microseconds received = line.echo.echoes ? line.echo.delay : microseconds(0);
  const microseconds envelope = milliseconds(kMaxAnswerWaitMs) - milliseconds(40) - received;
  line.answerDelay = std::min(envelope, PickOf(c, {microseconds(200), microseconds(1000), microseconds(3000),
                                                   microseconds(4500), microseconds(6000), microseconds(9000),
                                                   microseconds(14000), microseconds(25000), microseconds(40000),
                                                   microseconds(60000)}));
  if (line.answerDelay < microseconds(0)) {
    // A line whose echo comes later than the longest wait brings every
    // answer later still: its units are there only to be missed.
    line.answerDelay = microseconds(200);
    line.units.clear();
  }
  // Two units at one address are a fault of their own: their answers merged
  // with one that comes late or in part make bytes no read can sort out.
  const bool twinAnswers = s.script.units.size() >= 2 && s.script.units.back().offset.count() != 0;
  for (int i = twinAnswers ? 0 : c.Pick(3); i > 0; --i) {
    AnswerFault fault;
    fault.read = 1 + c.Pick(10);
    fault.kind = static_cast<AnswerFault::Kind>(c.Pick(5));
    // One fault that drops or adds bytes, and none beside an echo that comes
    // in part: a byte added where one was dropped makes an answer of four no
    // single read can tell from a whole one (see the strays below).
    const bool dropsOrAdds = fault.kind == AnswerFault::Kind::kDrop || fault.kind == AnswerFault::Kind::kSilent ||
                             fault.kind == AnswerFault::Kind::kExtra;
    const bool already = std::any_of(line.answerFaults.begin(), line.answerFaults.end(), [](const AnswerFault& f) {
      return f.kind == AnswerFault::Kind::kDrop || f.kind == AnswerFault::Kind::kSilent ||
             f.kind == AnswerFault::Kind::kExtra;
    });
    const bool echoInPart = line.echo.dropEvery != 0 || line.echo.garbleByte != 0;
    if (dropsOrAdds && (already || echoInPart)) fault.kind = AnswerFault::Kind::kLate;
    fault.channel = 1 + c.Pick(4);
    fault.late = PickOf(c, {milliseconds(2), milliseconds(6), milliseconds(15)});
    line.answerFaults.push_back(fault);
  }
  // A byte lost again on the read after, as a row's second try would meet
  // it: two answers in part are never one whole.
  for (size_t i = 0, n = line.answerFaults.size(); i < n; ++i) {
    if (line.answerFaults[i].kind != AnswerFault::Kind::kDrop || !c.OneIn(3)) continue;
    AnswerFault again = line.answerFaults[i];
    ++again.read;
    line.answerFaults.push_back(again);
  }
  // One source of bytes no unit sent at a time: a stray byte that lands
  // where a dropped answer byte was due, or beside an echo later than any
  // answer wait, makes an answer no single read can tell from a whole one.
  const bool dropsBytes = std::any_of(line.answerFaults.begin(), line.answerFaults.end(), [](const AnswerFault& f) {
    return f.kind == AnswerFault::Kind::kDrop || f.kind == AnswerFault::Kind::kSilent ||
           f.kind == AnswerFault::Kind::kExtra;
  });
  const bool twin = s.script.units.size() >= 2 && s.script.units.back().offset.count() != 0;
  // An echo that comes after the frame is one more source of its own.
  const bool echoBeyondWaits = line.echo.echoes && (line.echo.delay > milliseconds(4) || line.echo.dropEvery != 0 ||
                                                    line.echo.garbleByte != 0);
  // One stray byte: two may land in the two reads of one address, as no
  // noise on a real line is likely to.
  if (!dropsBytes && !twin && !echoBeyondWaits && c.OneIn(4)) {
    line.strays.push_back({milliseconds(c.Pick(600)) + microseconds(c.Pick(1000)), static_cast<uint8_t>(c.Pick(256))});
  }
  if (line.strays.empty() && c.OneIn(10)) {
    for (int i = 1 + c.Pick(3); i > 0; --i) line.waitingAtOpen.push_back(static_cast<uint8_t>(c.Pick(256)));
  }
  if (c.OneIn(25)) line.heldFromByte = 1 + c.Pick(60);
  if (c.OneIn(25)) line.lostAtByte = 1 + c.Pick(60);
  s.options.echo = PickOf(c, {EchoMode::kAuto, EchoMode::kAuto, EchoMode::kOn, EchoMode::kOff});
  s.options.answerWaitMs = PickOf(c, {kAnswerWaitAuto, kAnswerWaitAuto, 0, 0, 10, 20, 35, 60, 100});
}

int32_t ChannelValue(Choices& c) { return c.OneIn(12) ? PickOf(c, {-5, 256, 300, 1000}) : c.Pick(256); }

Step GenerateStep(Choices& c, const Scenario& s) {
  Step step;
  step.kind = static_cast<StepKind>(c.Pick(6));
  step.unit = !s.script.units.empty() && !c.OneIn(4)
                  ? s.script.units[static_cast<size_t>(c.Pick(static_cast<int>(s.script.units.size())))].address
                  : c.Pick(8);
  const int rows = step.kind == StepKind::kReadRow ? 1 : c.OneIn(3) ? 8 : 1 + c.Pick(3);
  for (int r = 0; r < 8 && static_cast<int>(step.rows.size()) < rows; ++r) {
    if (rows == 8 || c.OneIn(3)) step.rows.push_back(r);
  }
  if (step.rows.empty()) step.rows.push_back(c.Pick(8));
  for (size_t i = 0; i < step.rows.size(); ++i) {
    step.values.push_back({ChannelValue(c), ChannelValue(c), ChannelValue(c), ChannelValue(c)});
  }
  if (step.kind == StepKind::kVerifyRows && c.OneIn(2)) {
    // Verify what the unit holds, mostly: a row that differs is no test of a false success.
    for (const FarUnit& unit : s.script.units) {
      if (unit.address != step.unit) continue;
      for (size_t i = 0; i < step.rows.size(); ++i) {
        for (size_t k = 0; k < 4; ++k) step.values[i][k] = unit.rows[static_cast<size_t>(step.rows[i])][k];
      }
      break;
    }
  }
  step.command = PickOf(c, {UnitCommand::kStore, UnitCommand::kRun, UnitCommand::kStop, UnitCommand::kChangeAddress,
                            UnitCommand::kHighestSequence});
  step.value = PickOf(c, {0, 3, 7, 8, 9, 300});
  if (step.kind == StepKind::kReadRows || step.kind == StepKind::kVerifyRows) step.retries = c.Pick(3);
  step.justWritten = step.kind == StepKind::kVerifyRows && c.OneIn(2);
  return step;
}

}  // namespace

int Choices::Pick(int count) {
  if (count <= 1) return 0;
  if (m_fromBytes) {
    const uint8_t byte = m_used < m_bytes.size() ? m_bytes[m_used] : 0;
    ++m_used;
    return byte % count;
  }
  // splitmix64: the same numbers on every system and compiler.
  uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<int>(z % static_cast<uint64_t>(count));
}

Scenario Generate(Choices& choices) {
  Scenario s;
  // The echo first: rows that look like their frame are left out where it is late.
  GenerateEcho(choices, s);
  GenerateUnits(choices, s, s.script.echo.echoes && s.script.echo.delay > std::chrono::milliseconds(4));
  GenerateLine(choices, s);
  for (int i = 1 + choices.Pick(3); i > 0; --i) s.steps.push_back(GenerateStep(choices, s));
  return s;
}

std::string Scenario::Describe() const {
  std::ostringstream out;
  out << "units";
  if (script.units.empty()) out << " none";
  for (const FarUnit& unit : script.units) {
    out << " " << unit.address;
    if (unit.offset.count() != 0) out << "(+" << Tenths(Ms10(unit.offset)) << "ms)";
  }
  out << "; echo ";
  if (!script.echo.echoes) {
    out << "none";
  } else {
    out << Tenths(Ms10(script.echo.delay)) << "ms";
    if (script.echo.dropEvery != 0) out << " drops every " << script.echo.dropEvery;
    if (script.echo.garbleByte != 0) out << " garbles byte " << script.echo.garbleByte;
  }
  out << "; answers after " << Tenths(Ms10(script.answerDelay)) << "ms";
  static const char* const kFaults[] = {"drops", "garbles", "delays", "adds a byte after", "silences"};
  for (const AnswerFault& f : script.answerFaults) {
    out << ", read " << f.read << " " << kFaults[static_cast<int>(f.kind)] << " ch" << f.channel;
    if (f.kind == AnswerFault::Kind::kLate) out << " by " << Tenths(Ms10(f.late)) << "ms";
  }
  for (const auto& stray : script.strays) out << "; stray at " << Tenths(Ms10(stray.at)) << "ms";
  if (!script.waitingAtOpen.empty()) out << "; " << script.waitingAtOpen.size() << " bytes waiting at open";
  if (script.heldFromByte != 0) out << "; held from byte " << script.heldFromByte;
  if (script.lostAtByte != 0) out << "; lost at byte " << script.lostAtByte;
  out << "; set echo " << EchoModeText(options.echo) << ", wait " << AnswerWaitText(options.answerWaitMs) << "; does";
  for (const Step& step : steps) {
    out << " " << StepName(step.kind);
    if (step.kind == StepKind::kCommand) out << "(" << unit_commands::RowOf(step.command).name << " " << step.value << ")";
    if (step.kind != StepKind::kScan && step.kind != StepKind::kCommand) out << "(rows " << step.rows.size() << ")";
    if (step.retries != 0) out << "[retries " << step.retries << (step.justWritten ? ", as written" : "") << "]";
    if (step.kind != StepKind::kScan) out << "@" << step.unit;
  }
  return out.str();
}

std::vector<std::string> Judge(const Scenario& scenario) {
  try {
    return Run(scenario).Go();
  } catch (const std::exception& e) {
    return {e.what()};
  }
}

std::vector<std::string> ExploreSeed(uint64_t seed) {
  Choices choices(seed);
  const Scenario scenario = Generate(choices);
  std::vector<std::string> findings = Judge(scenario);
  for (std::string& finding : findings) {
    finding = "seed " + std::to_string(seed) + ": " + scenario.Describe() + ": " + finding;
  }
  return findings;
}

}  // namespace explorer

namespace explorer {

std::string Replay(uint64_t seed) {
  Choices choices(seed);
  const Scenario scenario = Generate(choices);
  Run run(scenario);
  std::string out = scenario.Describe() + "\n";
  for (const std::string& finding : run.Go()) out += "finding: " + finding + "\n";
  return out + run.Timeline();
}

}  // namespace explorer
