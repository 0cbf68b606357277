// CSerialLink: the one serial device through which the program talks to the
// controller units, and the six unit commands spoken over it.
//
// The link only moves bytes: SendBytes writes a buffer one byte at a time, each
// waited for at most 1000 ms; ReadWaiting takes bytes that have already arrived
// and never waits for more. What carries the bytes is a transport: a tty here,
// or a serial device server on the network. Every failure keeps a reason for
// the window to show; nothing here talks to the operator.
//
// The line's own habits are the link's business too: a line that returns
// every byte sent (echo) has those bytes taken back and checked, never read
// as an answer, and a line that answers late is waited for as long as its
// answer wait allows.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "settings/line_options.h"
#include "device/link_clock.h"
#include "device/unit_protocol.h"

class LineTransport;
class LinkWatch;
template <class T>
class LineResult;
// A transport for the line a name stands for, or why there is none
// (line_transport.h).
using OpenedLine = LineResult<std::unique_ptr<LineTransport>>;

// The units' line speed: every program opens the link at this rate.
inline constexpr int32_t kLineBaud = 9600;

class CSerialLink {
 public:
  // Maps a port number (the window's "Com n") to a device path.
  using PortResolver = std::function<std::string(int32_t port)>;
  // Opens the line a device path or network address names; OpenLine of
  // line_transport.h unless a test hands the link a line of its own.
  using LineOpener = std::function<OpenedLine(const std::string& name, int32_t baud, const LineOptions& options)>;
  // Called by ReadRow for each missing answer byte, with its channel 1..4.
  using MissingAnswerHandler = std::function<void(int channel)>;

  // Why the link is not open, in terms the window can put into words.
  enum class Fault {
    kNone,        // open, or never opened
    kNotFound,    // no such device (ENOENT, ENODEV, ENXIO at open)
    kPermission,  // EACCES / EPERM
    kInUse,       // another program holds the device
    kNotSerial,   // the path is not a terminal device
    kSetup,       // the line settings could not be applied or did not take
    kLost,        // the device went away while open
    kOther,
  };

  // How the last command's frame went.
  enum class FrameOutcome {
    kSent,            // every byte left (and, on a line that echoes, came back as sent)
    kNotOpen,         // nothing was sent: the link is not open
    kHeld,            // a byte did not leave within its bound; the rest stayed back
    kEchoWrong,       // the line returned other bytes than were sent
    kEchoMissing,     // the line echoes, but did not return a byte that was sent
    kNoEcho,          // a line set to echo returned nothing of the frame
    kEchoUnexpected,  // a line driven as one without echo returned what was sent
    kEchoLate,        // the line returns what was sent, but later than its answer wait
    kStrayBytes,      // bytes no unit sent in answer: before the frame, during it, after it
    kAnswerLate,      // the unit's whole answer came, but after its answer wait
    kLost,            // the line went away during the frame
  };
  // For kEchoLate and kAnswerLate: how late the bytes came after the byte
  // they follow, and the answer wait that would take them (0: none would).
  struct Lateness {
    int32_t lateMs = 0;
    int32_t answerWaitMs = 0;
  };

  enum class TraceDirection { kSent, kReceived };
  // Every byte that left and every byte that arrived (echoes, answers, and
  // what is discarded), with the time it was seen.
  using ByteTrace = std::function<void(TraceDirection, uint8_t byte, std::chrono::steady_clock::time_point at)>;

  // Without a resolver, port n is "/dev/ttyUSB<n-1>".
  CSerialLink();
  explicit CSerialLink(PortResolver resolver);
  ~CSerialLink();  // closes the port
  CSerialLink(const CSerialLink&) = delete;
  CSerialLink& operator=(const CSerialLink&) = delete;

  void SetPortResolver(PortResolver resolver);
  // The seams a test drives the link through: what opens its lines, and the
  // clock its waits and time stamps go by (the system's by default). Both
  // are set before the first OpenPort; the clock outlives the link.
  void SetLineOpener(LineOpener opener);
  void SetClock(LinkClock& clock) { m_clock = &clock; }
  LinkClock& Clock() const { return *m_clock; }
  void SetMissingAnswerHandler(MissingAnswerHandler handler);
  // Echo and answer wait apply from the next frame (a changed echo setting is
  // found out again); RS-485 mode from the next OpenPort.
  void SetLineOptions(const LineOptions& options);
  const LineOptions& Options() const { return m_options; }
  void SetByteTrace(ByteTrace trace);

  // 1 if the link is open afterwards. On an open link: 1, nothing changes.
  // On failure: 0, nothing held, Fault() and Reason() say why.
  int32_t OpenPort(int32_t port, int32_t baud);
  // Always 1; closing a closed link does nothing.
  int32_t ClosePort();
  int32_t IsPortOpen() const { return m_bIsOpen; }

  // Writes one byte and waits at most 1000 ms for it to leave; what has not
  // left by then is discarded. Always 1; LastByteLeft() tells whether it left.
  int32_t WriteByte(uint8_t byte);
  bool LastByteLeft() const { return m_byteLeft; }
  // 0 when closed or count <= 0; else writes each byte by WriteByte and
  // returns count, whatever the single writes did.
  int32_t SendBytes(const uint8_t* bytes, int32_t count);
  // Up to maxCount bytes that have already arrived; 0 when none, when closed or
  // on failure. Never waits for bytes to arrive; a read in progress is waited
  // for at most 2000 ms. Bytes beyond maxCount stay queued.
  int32_t ReadWaiting(uint8_t* buffer, int32_t maxCount);
  // Drops every byte that has arrived and not been read.
  void DiscardWaiting();

  // The unit commands. Each writes its frame one byte per SendBytes call with
  // its fixed pauses, also on a closed link (which sends nothing). LastFrame()
  // then tells how the frame went.
  void WriteRow(int32_t unit, int32_t row, int32_t ch1, int32_t ch2, int32_t ch3, int32_t ch4);
  // Reads the unit's four answer bytes into ch1..ch4. A missing byte leaves its
  // destination and those after it unchanged and is reported, channel by
  // channel, to the missing-answer handler.
  void ReadRow(int32_t unit, int32_t row, int32_t* ch1, int32_t* ch2, int32_t* ch3, int32_t* ch4);

  // A row's answer as it arrived: the first `arrived` channels hold the bytes
  // the unit sent, in channel order; the rest are 0. The link stops taking
  // bytes at the first one that did not come in time, so a byte arriving
  // later is never taken for the wrong channel.
  struct RowAnswer {
    std::array<uint8_t, unit_protocol::kAnswerBytes> channels{};
    int arrived = 0;  // 0..kAnswerBytes
    bool Whole() const { return arrived == unit_protocol::kAnswerBytes; }
    // The channel (1..4) that did not arrive first; 0 when the answer is whole.
    int FirstMissing() const { return arrived < unit_protocol::kAnswerBytes ? arrived + 1 : 0; }
  };
  // The read-row command with its frame and pauses, as ReadRow sends it,
  // returning the answer instead of storing it. With `reportMissing` each
  // missing channel also goes to the missing-answer handler, in its place
  // among the pauses, as ReadRow reports it; without, no handler is called.
  RowAnswer ReadRowAnswer(int32_t unit, int32_t row, bool reportMissing = false);
  // Stores the arrived bytes of `answer` into ch1..ch4 (zero-extended, 0..255)
  // and leaves the destinations of missing channels as they are.
  static void StoreAnswer(const RowAnswer& answer, int32_t* ch1, int32_t* ch2, int32_t* ch3, int32_t* ch4);
  void StoreOnUnit(int32_t unit);
  void SetRunState(int32_t unit, int32_t run);
  void ChangeAddress(int32_t unit, int32_t newId);
  void SetHighestSequence(int32_t unit, uint8_t value);
  // Any unit command that is not answered, by its frame (a row of
  // unit_commands.h), as the commands above send theirs.
  void SendCommand(const unit_protocol::Frame& frame);

  // A descriptor that turns readable when something happens on the open
  // device, for a caller that waits for events instead of polling; it stays
  // the same from the first OpenPort to destruction (-1 before, and where the
  // system has no such descriptor: link_watch.h). Readable means "call
  // CheckGone()", nothing more.
  int32_t WatchDescriptor() const;
  // Takes what the watch descriptor signalled, without blocking and without
  // reading a byte. If the device hung up (unplugged), the link closes with
  // fault kLost and this returns true.
  bool CheckGone();

  // An automatic answer wait raised by a frame: from, to, and how late the
  // answer (or echo) that raised it came, in ms.
  struct WaitRaise {
    int32_t fromMs = 0;
    int32_t toMs = 0;
    int32_t lateMs = 0;
  };
  // What one frame did on the line, as the link saw it happen: the one
  // record that what is told of the frame is read from (LastFrame(), the
  // journal's rows, the outcome words).
  struct TimedByte {
    std::chrono::steady_clock::time_point at;
    uint8_t value = 0;
  };
  struct FrameRecord {
    unit_protocol::Frame frame{};  // as the command built it
    std::vector<TimedByte> left;   // the bytes that left the port, in order, each when it did
    std::vector<TimedByte> came;   // what the link took off the line while this was the last frame
    // A byte that did not leave within its bound and was then discarded:
    // whether any of it reached the line cannot be known.
    bool lastUnknown = false;
    FrameOutcome outcome = FrameOutcome::kNotOpen;
    Lateness lateness;             // for kEchoLate and kAnswerLate
    // Under an automatic answer wait: the wait this frame's lateness raised.
    std::optional<WaitRaise> raised;
    bool LeftWhole() const { return frame.size > 0 && left.size() == frame.size; }
    // No byte of it can have reached the line.
    bool NoneLeft() const { return left.empty() && !lastUnknown; }
  };
  const FrameRecord& LastRecord() const { return m_record; }
  // The records of the frames sent since the last call, the last frame's
  // among them, oldest first; at most the last kKeptRecords.
  std::vector<FrameRecord> TakeRecords();
  static constexpr size_t kKeptRecords = 256;
  // Bytes that were waiting on the line when it opened, dropped then: they
  // cannot answer anything this link sent.
  int DroppedAtOpen() const { return m_droppedAtOpen; }

  FrameOutcome LastFrame() const { return m_record.outcome; }
  const Lateness& LastLateness() const { return m_record.lateness; }
  // For a caller that pauses after a command anyway (rows in a loop): the
  // next command leaves the line's last check to that pause (a write's last
  // echo, what follows a read's answer), so checking costs no time. Without
  // it a read looks at the line a little longer itself.
  // LastFrame() tells the outcome after that pause.
  void TakeLastEchoInNextPause() { m_checkInNextPause = true; }
  // Pauses at least `milliseconds`, watching the line meanwhile: echoes
  // still owed are taken, a missing answer that comes whole is "answered
  // late", any other byte is stray. A fault found here becomes LastFrame().
  // After a read whose answer did not come whole, the pause lasts until the
  // longest answer wait has passed since the frame: a late answer must not
  // be taken for the next unit's.
  void PauseAfterFrame(int milliseconds);
  // Whether the open line returns what it sends: set by the echo option, or
  // found under "auto" from the first frames after opening; nothing until
  // known. "No echo" is never decided before the longest answer wait has
  // passed after the first frame: a frame sent sooner waits for it once.
  std::optional<bool> Echoes() const { return m_echoes; }
  // Finishes finding out whether the line echoes, waiting out what is left
  // of that once-per-open wait: for a caller about to close the line or to
  // report on it. LastFrame() then tells what the line did (a late echo);
  // after a frame that already failed, nothing is done.
  void SettleEcho();
  // How the open line was set up, in plain words for the status line (an
  // RS-485 request the driver refused, a network line's round trip); empty
  // when there is nothing to say.
  const std::string& LineNotes() const { return m_lineNotes; }

  Fault LastFault() const { return m_fault; }
  // The system's reason for the last failure (errno text and what was being
  // done); empty while nothing failed.
  const std::string& Reason() const { return m_reason; }
  // After a kPermission fault: the group that grants access to the device and
  // that the user is not in ("dialout"); empty when joining none would help.
  const std::string& GroupToJoin() const { return m_groupToJoin; }
  // The device path of the last OpenPort, open or not.
  const std::string& DevicePath() const { return m_devicePath; }
  // The latency timer of the USB adapter behind the open device, in ms, as
  // read after asking its driver for low latency; -1 when the device has none
  // (a pty, a built-in port) or it could not be read.
  int32_t LatencyTimerMs() const { return m_latencyTimerMs; }
  // The longest wait for an answer byte on this line: its answer wait, never
  // less than the protocol's window. Under "auto" (kAnswerWaitAuto) the
  // link's own: from the open on, the protocol's window or what the adapter's
  // latency timer needs; raised, up to the longest, by a whole answer (or a
  // frame's whole echo) that came late on a line whose echo is settled. That
  // frame still fails as late: the raised wait serves the next one.
  int32_t AnswerWaitMs() const;
  // Why an automatic answer wait is what it is, in plain words ("the adapter
  // holds bytes 16 ms", "raised when an answer came 9 ms late"); empty for the
  // protocol's own, and for a wait that was set.
  std::string AnswerWaitWhy() const;

 private:
  void SetFault(Fault fault, const std::string& what, int err);
  void Lose(const std::string& what, int err);
  void CloseDevice();
  void WatchDevice();
  using TimePoint = std::chrono::steady_clock::time_point;
  // Whole milliseconds from `from` to `to`, rounded up.
  static int32_t MsSince(TimePoint from, TimePoint to);
  // Sends `frame` with its pauses; on a line that echoes, takes each byte's
  // echo back in the pause after it and checks it; on any line, a byte that
  // is no echo owed is stray. Keeps the outcome. With `lastEchoLater` the
  // last byte's echo is left for the caller to take in the pause that
  // follows the frame (the read-row's answer pause).
  FrameOutcome SendFrame(const unit_protocol::Frame& frame, bool lastEchoLater = false);
  // Takes the echoes owed for the bytes sent so far, or, with `until`, waits
  // for all of them until then. With `answerFollows` bytes beyond the echoes
  // are left for the answer; otherwise one is stray. False on a fault, which
  // m_record.outcome then holds.
  bool TakeEchoes(std::optional<TimePoint> until, bool answerFollows = false);
  // An echo owed past its answer wait: watched for until the longest wait.
  void WaitForLateEcho();
  // Under "auto", nothing returned yet for the first frame: watches until
  // `until` (never past the once-per-open wait) and decides when it can.
  bool WatchEchoProbe(TimePoint until);
  // An echo `lateMs` after its byte that this line's answer wait would not
  // take: the frame fails as a late echo, naming the wait that would.
  bool EchoTooLate(int32_t lateMs);
  // The first read-row after opening under "auto" with nothing returned
  // during its frame: what arrives tells echo and answer apart.
  RowAnswer ProbeAnswer(const unit_protocol::Frame& frame);
  // The answer bytes the probe gathered, each with when it came, if each came
  // within the answer wait; else the frame fails as answered late.
  RowAnswer TimelyAnswer(std::span<const uint8_t> bytes, std::span<const TimePoint> at);
  // An answer that begins with the bytes of this frame or an earlier one is
  // an echo, not the unit's: fails the frame and says so.
  bool EchoedInAnswer(const RowAnswer& answer, const unit_protocol::Frame& frame);
  // After a read-row: watches the line until `until`; see PauseAfterFrame.
  void WatchAfterAnswer(TimePoint until);
  // Before a frame: the line must be quiet, unless what waits is the rest of
  // a fault already told.
  bool LineQuietBeforeFrame();
  bool Fail(FrameOutcome outcome);
  // DiscardWaiting; with `count`, how many bytes it dropped (else 0 when
  // there is no trace).
  int DropWaiting(bool count);
  // Before the line closes: an echo the last frame still owes is waited for
  // (up to the longest answer wait after the frame) and dropped.
  void WaitOutOwedEcho();
  // Until when the line must stay quiet after the frame of `record` before
  // the next frame begins: after a frame cut short, until units start over;
  // after a read that left whole and failed, until its answer can no longer
  // come. Nothing when the next frame may follow at once.
  std::optional<TimePoint> QuietAfter(const FrameRecord& record) const;
  // Under an automatic answer wait: takes the last frame's lateness as the
  // line's, where it may (see AnswerWaitMs), and keeps the raise in its record.
  void RaiseAutoWait();
  // The automatic answer wait at open, from the adapter's latency timer.
  void StartAutoWait();
  // The last frame's record joins those not yet taken, before a new one.
  void KeepRecord();
  // After a fault the line's bytes are no longer understood: what is still
  // on its way within the answer wait is dropped.
  void DiscardAfterFault();
  FrameOutcome StrayOutcome(const uint8_t* bytes, int32_t count) const;
  int32_t ReadTraced(uint8_t* buffer, int32_t maxCount);

  // The protocol's name for the port handle; it now holds the transport that
  // carries the open line (line_transport.h), empty when none.
  std::unique_ptr<LineTransport> m_hPort;
  std::unique_ptr<LinkWatch> m_watch;       // holds the line while open; from the first open on
  int32_t m_bIsOpen = 0;
  bool m_byteLeft = false;  // the last WriteByte's byte left within its bound
  bool m_byteHeld = false;  // it did not, held past its bound: whether any of it left is not known
  PortResolver m_resolver;
  LineOpener m_opener;
  LinkClock* m_clock = &SystemClock();
  MissingAnswerHandler m_onMissingAnswer;
  ByteTrace m_trace;
  LineOptions m_options;
  std::optional<bool> m_echoes;
  // The frame being sent: its bytes that left, when each left, and how many
  // of them the line has returned so far.
  std::array<uint8_t, unit_protocol::Frame::kLongest> m_sent{};
  std::array<TimePoint, unit_protocol::Frame::kLongest> m_sentAt{};
  size_t m_sentCount = 0;
  size_t m_echoed = 0;
  // The frames before, the last first: what of each left, and when its last
  // byte did. An echo later than the longest wait may be any of theirs.
  struct SentFrame {
    std::array<uint8_t, unit_protocol::Frame::kLongest> bytes{};
    size_t count = 0;
    TimePoint leftAt{};
  };
  std::array<SentFrame, 4> m_earlier{};
  int32_t m_echoLateMs = 0;  // the latest echo of the frame, after its byte left
  TimePoint m_lastLeftAt{};  // when the frame's last byte left
  // "auto" with nothing returned yet for the first frame: until then.
  std::optional<TimePoint> m_echoProbeUntil;
  // A read-row's answer, until the line after it has been looked at.
  struct AnswerTail {
    bool open = false;
    int arrived = 0;
    std::optional<TimePoint> seenAt;  // when bytes were first seen after the answer went missing
  };
  AnswerTail m_tail;
  bool m_checkInNextPause = false;  // see TakeLastEchoInNextPause
  // Bytes before the next frame are what is left of a fault already told (a
  // late answer, the rest of a garbled echo), not a new one.
  bool m_leftoversTold = false;
  FrameRecord m_record;                 // the last frame's
  bool m_recordTaken = false;           // TakeRecords has handed it out
  std::vector<FrameRecord> m_records;   // frames before it, not yet taken
  bool m_discarding = false;            // bytes read now are dropped, not taken for the record
  int m_droppedAtOpen = 0;
  Fault m_fault = Fault::kNone;
  std::string m_reason;
  std::string m_devicePath;
  std::string m_lineNotes;
  int32_t m_latencyTimerMs = -1;
  int32_t m_autoWaitMs = unit_protocol::kAnswerWindowMs;  // under "auto"
  std::string m_autoWaitWhy;
  std::string m_groupToJoin;
};

// The longest USB latency timer with which answer bytes still arrive within
// an answer wait of `answerWaitMs`: the wait less a byte out and a byte back
// at 9600 baud, rounded down.
constexpr int32_t LatencyLimitMs(int32_t answerWaitMs) {
  return (answerWaitMs * 1000 - 2 * unit_protocol::kByteMicros) / 1000;
}
// The shortest answer wait that lets answers through a latency timer of
// `timerMs`: the inverse of LatencyLimitMs.
constexpr int32_t AnswerWaitForLatency(int32_t timerMs) {
  return (timerMs * 1000 + 2 * unit_protocol::kByteMicros + 999) / 1000;
}
// The answer wait that takes a byte `lateMs` after its frame: a few ms to
// spare, in steps of 5. Above kMaxAnswerWaitMs no wait takes it.
constexpr int32_t AnswerWaitForLateness(int32_t lateMs) { return ((lateMs + 1) / 5 + 1) * 5; }
// Where an automatic answer wait starts on a line whose adapter has a latency
// timer of `timerMs` (-1: none known): the protocol's window, or longer where
// the adapter holds bytes back that long, at most the longest wait.
constexpr int32_t AutoAnswerWaitStartMs(int32_t timerMs) {
  const int32_t needed = timerMs >= 0 ? AnswerWaitForLatency(timerMs) : 0;
  return needed > unit_protocol::kAnswerWindowMs ? (needed < kMaxAnswerWaitMs ? needed : kMaxAnswerWaitMs)
                                                 : unit_protocol::kAnswerWindowMs;
}
