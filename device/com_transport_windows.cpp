// A line on a Windows COM port: opened exclusively (Windows shares no COM
// port) with 8N1 at the link's speed, flow control and handshake lines left
// as the device reports them, as the Linux tty transport leaves them. Single
// bytes are written overlapped and waited for until they have left; reads
// take only what has arrived. What open changed is put back on close.
//
// A byte that has not left within its bound makes the port lost, not only
// the frame held: the handle cannot be told from a dead one (a driver whose
// adapter went may never finish a write), and a dead handle never mends,
// while closing and opening a live port again costs nothing. The link closes
// it and the window's follower opens the port again once it is there.
//
// Nothing here polls: a write or read in flight is waited for on its event
// until the caller's deadline, and a wait for bytes is an overlapped
// WaitCommEvent for a received character.
#include <algorithm>
#include <optional>
#include <utility>

#include "device/adapter_tuning.h"
#include "device/line_transport.h"
#include "device/pause.h"
#include "settings/windows_text.h"

using windows_text::ErrorText;
using windows_text::Wide;
using Fault = CSerialLink::Fault;

namespace {

// The driver's queues: far more than a frame or an answer ever holds.
constexpr DWORD kQueueBytes = 10000;
// While a written byte leaves the output queue; at 9600 baud one byte takes
// about a millisecond on the wire.
constexpr int kDrainStepMs = 1;
// The least time left for which a wait for bytes starts a WaitCommEvent.
constexpr std::chrono::milliseconds kShortestEventWait{1};

LineFailure Failure(Fault fault, const std::string& what, DWORD error = ERROR_SUCCESS) {
  return {fault, error != ERROR_SUCCESS ? what + ": " + ErrorText(error) : what, {}};
}

// The errors by which a COM port says it is no longer there (adapter pulled;
// under wine, ERROR_NOT_READY for every write and status query once the
// terminal behind the port has hung up).
bool MeansGone(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
         error == ERROR_GEN_FAILURE || error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_FILE_NOT_FOUND ||
         error == ERROR_INVALID_HANDLE || error == ERROR_NOT_READY;
}

Fault OpenFault(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return Fault::kNotFound;
    case ERROR_ACCESS_DENIED:  // another program has the port: Windows opens COM ports exclusively
    case ERROR_SHARING_VIOLATION:
      return Fault::kInUse;
    default:
      return Fault::kOther;
  }
}

// "COM7" and "com7" are opened as "\\.\COM7", the only form that reaches
// COM10 and above; any other name is opened as written.
std::wstring SystemName(const std::string& path) {
  return windows_text::IsComPortName(path) ? L"\\\\.\\" + Wide(path) : Wide(path);
}

// One overlapped operation's event and state, reused call after call.
//
// The OVERLAPPED names its event with the low bit set: Windows then queues
// no completion packet for the operation (no completion port is bound to the
// port anyway), and under wine each byte costs one server call less. Waits
// use the event itself. ReadFile and WriteFile reset the event when they
// start; a WaitCommEvent is reset here first (see Fresh).
class Overlapped {
 public:
  Overlapped() : m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Overlapped() {
    if (m_event) CloseHandle(m_event);
  }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;

  // `reset`: whether the event is cleared first, for a call whose
  // documentation does not promise to clear it.
  OVERLAPPED* Fresh(bool reset = false) {
    if (reset) ResetEvent(m_event);
    m_io = OVERLAPPED{};
    m_io.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(m_event) | 1);
    return &m_io;
  }
  bool Ready() const { return m_event != nullptr; }
  OVERLAPPED* Io() { return &m_io; }

  // Waits until the operation started with Fresh() has ended, done or
  // cancelled, and returns what it moved.
  DWORD WaitOut(HANDLE file) {
    DWORD count = 0;
    WaitForSingleObject(m_event, INFINITE);
    GetOverlappedResult(file, &m_io, &count, FALSE);
    return count;
  }

  enum class Done { kDone, kLate, kFailed };
  // Waits for the operation started with Fresh() until `deadline`; on time
  // *count holds what it moved. A late one is cancelled and waited out, so the
  // buffer it used is free again.
  Done Finish(HANDLE file, LineClock::time_point deadline, DWORD* count, DWORD* error) {
    if (!SignalledBy(deadline)) {
      CancelIoEx(file, &m_io);
      *count = WaitOut(file);
      return Done::kLate;
    }
    if (GetOverlappedResult(file, &m_io, count, FALSE)) return Done::kDone;
    *error = GetLastError();
    return Done::kFailed;
  }

  // Waits for the operation's event until `deadline`: on the system's wait
  // while a millisecond or more is left, the last of it by yielding, so that
  // a deadline is kept rather than overshot by a wait's rounding and tick.
  bool SignalledBy(LineClock::time_point deadline) const {
    const auto coarse = std::chrono::floor<std::chrono::milliseconds>(deadline - LineClock::now()).count() - 1;
    if (coarse > 0 && WaitForSingleObject(m_event, static_cast<DWORD>(coarse)) == WAIT_OBJECT_0) return true;
    for (;;) {
      if (WaitForSingleObject(m_event, 0) == WAIT_OBJECT_0) return true;
      if (LineClock::now() >= deadline) return false;
      SwitchToThread();
    }
  }

 private:
  HANDLE m_event;
  OVERLAPPED m_io{};
};

class ComTransport final : public LineTransport {
 public:
  ComTransport(HANDLE port, std::string path) : m_port(port), m_path(std::move(path)) {}
  ~ComTransport() override { Close(); }

  // The open steps, in order; a failed one leaves what was done for Close()
  // to undo.
  LineResult<> SetLine(int32_t baud);
  LineResult<> SetQueuesAndTimeouts();
  void RefuseRs485() { m_notes = "no RS-485 mode on Windows: used as it is"; }

  LineResult<> WriteByte(uint8_t byte, LineClock::time_point deadline) override;
  LineResult<int32_t> ReadWaiting(uint8_t* buffer, int32_t maxCount, LineClock::time_point deadline) override;
  bool WaitReadable(LineClock::time_point deadline) override;
  LineResult<> DiscardWaiting() override;
  std::string Notes() const override { return m_notes; }
  int32_t LatencyTimerMs() const override { return m_latencyTimerMs; }
  void ReadLatencyTimer() { m_latencyTimerMs = AdapterLatencyTimerMs(m_path); }
  void Close() override;

 private:
  LineFailure Trouble(const std::string& what, DWORD error) const {
    return Failure(MeansGone(error) ? Fault::kLost : Fault::kOther, what + " " + m_path, error);
  }
  // A byte that did not leave within its bound (`how`: "not accepted", "not
  // sent"): the port is not trusted any more (see the head of this file).
  LineFailure Held(const std::string& how) const {
    return ::Held(Fault::kLost, "write to " + m_path + ": " + how + " within 1000 ms; closed to be opened again");
  }
  // The bytes waiting in the driver's input (or output) queue; nullopt with
  // *error set when the port cannot be asked.
  std::optional<COMSTAT> Status(DWORD* error) const;

  HANDLE m_port;
  std::string m_path;
  int32_t m_latencyTimerMs = -1;  // an FTDI adapter's, as its driver keeps it
  std::optional<DCB> m_savedLine;             // put back on close
  std::optional<COMMTIMEOUTS> m_savedTimeouts;  // likewise
  Overlapped m_write;
  Overlapped m_read;
  Overlapped m_wait;
  // A WaitCommEvent that outlived the wait that started it (see WaitReadable).
  bool m_waitPending = false;
  DWORD m_events = 0;
  std::string m_notes;
};

LineResult<> ComTransport::SetLine(int32_t baud) {
  DCB line{};
  line.DCBlength = sizeof line;
  if (!GetCommState(m_port, &line)) {
    return Failure(Fault::kNotSerial, "open " + m_path + ": not a serial device", GetLastError());
  }
  m_savedLine = line;
  // 8N1, binary, no software flow control, no byte replaced or dropped and
  // no error that stops the port; hardware flow control and the DTR and RTS
  // lines stay as the device reports them.
  line.BaudRate = static_cast<DWORD>(baud);
  line.ByteSize = 8;
  line.Parity = NOPARITY;
  line.StopBits = ONESTOPBIT;
  line.fBinary = TRUE;
  line.fParity = FALSE;
  line.fOutX = FALSE;
  line.fInX = FALSE;
  line.fErrorChar = FALSE;
  line.fNull = FALSE;
  line.fAbortOnError = FALSE;
  if (!SetCommState(m_port, &line)) {
    return Failure(Fault::kSetup, "apply line settings to " + m_path, GetLastError());
  }
  DCB applied{};
  applied.DCBlength = sizeof applied;
  if (!GetCommState(m_port, &applied)) {
    return Failure(Fault::kSetup, "read back line settings of " + m_path, GetLastError());
  }
  if (applied.BaudRate != line.BaudRate || applied.ByteSize != 8 || applied.Parity != NOPARITY ||
      applied.StopBits != ONESTOPBIT || applied.fOutX || applied.fInX) {
    return Failure(Fault::kSetup, "apply line settings to " + m_path + ": the device did not take them all");
  }
  return {};
}

LineResult<> ComTransport::SetQueuesAndTimeouts() {
  if (!m_write.Ready() || !m_read.Ready() || !m_wait.Ready()) {
    return Failure(Fault::kOther, "open " + m_path, GetLastError());
  }
  // A driver that sizes its queues itself refuses; that is no fault.
  SetupComm(m_port, kQueueBytes, kQueueBytes);
  COMMTIMEOUTS old{};
  if (!GetCommTimeouts(m_port, &old)) {
    return Failure(Fault::kSetup, "read the time-outs of " + m_path, GetLastError());
  }
  m_savedTimeouts = old;
  // A read returns at once with what has arrived; a write is bounded by the
  // caller's deadline, not by the driver.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  if (!SetCommTimeouts(m_port, &timeouts) || !SetCommMask(m_port, EV_RXCHAR)) {
    return Failure(Fault::kSetup, "set the time-outs of " + m_path, GetLastError());
  }
  return {};
}

std::optional<COMSTAT> ComTransport::Status(DWORD* error) const {
  COMSTAT status{};
  DWORD errors = 0;
  if (!ClearCommError(m_port, &errors, &status)) {
    *error = GetLastError();
    return std::nullopt;
  }
  return status;
}

void ComTransport::Close() {
  if (m_port == INVALID_HANDLE_VALUE) return;
  // Output that never left would keep the port busy; it is stale now.
  DWORD error = 0;
  if (const auto status = Status(&error); !status || status->cbOutQue > 0) PurgeComm(m_port, PURGE_TXABORT | PURGE_TXCLEAR);
  // As terminal programs do, the port is left as it was found. A lost
  // device refuses this, and has no settings left to keep.
  if (m_savedTimeouts) SetCommTimeouts(m_port, &*m_savedTimeouts);
  if (m_savedLine) SetCommState(m_port, &*m_savedLine);
  if (std::exchange(m_waitPending, false)) {
    CancelIoEx(m_port, m_wait.Io());
    m_wait.WaitOut(m_port);
  }
  CloseHandle(m_port);
  m_port = INVALID_HANDLE_VALUE;
}

LineResult<> ComTransport::WriteByte(uint8_t byte, LineClock::time_point deadline) {
  DWORD written = 0;
  DWORD error = ERROR_SUCCESS;
  if (!WriteFile(m_port, &byte, 1, &written, m_write.Fresh())) {
    error = GetLastError();
    if (error != ERROR_IO_PENDING) return Trouble("write to", error);
    switch (m_write.Finish(m_port, deadline, &written, &error)) {
      case Overlapped::Done::kDone:
        break;
      case Overlapped::Done::kLate:
        // Nobody takes bytes: drop what waits, and let the port go.
        PurgeComm(m_port, PURGE_TXABORT | PURGE_TXCLEAR);
        return Held("not accepted");
      case Overlapped::Done::kFailed:
        return Trouble("write to", error);
    }
  }
  if (written != 1) return Held("not accepted");
  // Wait for the byte to leave the driver's output queue.
  for (;;) {
    const auto status = Status(&error);
    // The byte was accepted; how far it got cannot be known.
    if (!status && MeansGone(error)) return Trouble("write to", error);
    if (!status || status->cbOutQue == 0) return {};
    if (LineClock::now() >= deadline) {
      PurgeComm(m_port, PURGE_TXABORT | PURGE_TXCLEAR);
      return Held("not sent");
    }
    PauseMs(kDrainStepMs);
  }
}

LineResult<int32_t> ComTransport::ReadWaiting(uint8_t* buffer, int32_t maxCount, LineClock::time_point deadline) {
  DWORD error = ERROR_SUCCESS;
  const auto status = Status(&error);
  if (!status) return Trouble("read from", error);
  if (status->cbInQue == 0 || maxCount <= 0) return 0;

  const DWORD wanted = std::min<DWORD>(status->cbInQue, static_cast<DWORD>(maxCount));
  DWORD got = 0;
  if (!ReadFile(m_port, buffer, wanted, &got, m_read.Fresh())) {
    error = GetLastError();
    if (error != ERROR_IO_PENDING) return Trouble("read from", error);
    switch (m_read.Finish(m_port, deadline, &got, &error)) {
      case Overlapped::Done::kDone:
        break;
      case Overlapped::Done::kLate:
        // The bytes a late read still brought are the unit's; none is a failure.
        if (got > 0) return static_cast<int32_t>(got);
        return Failure(Fault::kOther, "read from " + m_path + ": not finished within 2000 ms");
      case Overlapped::Done::kFailed:
        return Trouble("read from", error);
    }
  }
  return static_cast<int32_t>(got);
}

// A wait that times out leaves its WaitCommEvent pending for the next one to
// take up: cancelling it would cost a round trip through the driver on every
// quiet deadline (over a millisecond under wine), and a pause after an answer
// is watched this way. An event set by bytes that have been read since finds
// none waiting, and the wait goes on: "a byte can be read" is what a caller
// times a late answer by. (Wine's COM port on a pseudo-terminal ends every
// WaitCommEvent within a few ms without the event, each from a thread of its
// own, so there this loop turns every few ms; a real port's driver waits.)
// With less than a millisecond left no WaitCommEvent is started: under wine
// starting one takes 0.3-0.5 ms (its thread's start), and would end the wait
// after its deadline. The rest is watched by yielding, as a wait on an event
// spends its last millisecond (Overlapped::SignalledBy).
bool ComTransport::WaitReadable(LineClock::time_point deadline) {
  for (;;) {
    DWORD error = ERROR_SUCCESS;
    const auto status = Status(&error);
    if (!status || status->cbInQue > 0) return true;  // gone, or bytes: the next read tells
    const auto now = LineClock::now();
    if (now >= deadline) return false;
    if (!m_waitPending) {
      if (deadline - now < kShortestEventWait) {
        SwitchToThread();
        continue;
      }
      if (WaitCommEvent(m_port, &m_events, m_wait.Fresh(true))) continue;
      if (GetLastError() != ERROR_IO_PENDING) return true;  // the port failed: the next read tells
      m_waitPending = true;
    }
    if (!m_wait.SignalledBy(deadline)) return false;
    m_waitPending = false;
    DWORD unused = 0;
    GetOverlappedResult(m_port, m_wait.Io(), &unused, FALSE);
  }
}

LineResult<> ComTransport::DiscardWaiting() {
  if (PurgeComm(m_port, PURGE_RXABORT | PURGE_RXCLEAR)) return {};
  const DWORD error = GetLastError();
  if (!MeansGone(error)) return {};
  return Failure(Fault::kLost, "discard input of " + m_path, error);
}

}  // namespace

OpenedLine OpenSerialLine(const std::string& path, int32_t baud, const LineOptions& options) {
  const HANDLE port = CreateFileW(SystemName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const Fault fault = OpenFault(error);
    return fault == Fault::kInUse ? Failure(fault, "open " + path + ": in use by another program")
                                  : Failure(fault, "open " + path, error);
  }
  if (const DWORD type = GetFileType(port); type != FILE_TYPE_CHAR) {
    // A handle whose type cannot be read leads to no device: wine opens a
    // port whose mapped path has nothing at it (a terminal that hung up) so.
    // It is away, to be opened once something is there, not a wrong device.
    const DWORD error = type == FILE_TYPE_UNKNOWN ? GetLastError() : NO_ERROR;
    CloseHandle(port);
    if (error != NO_ERROR) return Failure(Fault::kNotFound, "open " + path + ": no device behind it", error);
    return Failure(Fault::kNotSerial, "open " + path + ": not a serial device");
  }
  auto line = std::make_unique<ComTransport>(port, path);  // from here on Close() undoes everything
  if (LineResult<> set = line->SetLine(baud); !set) return set.Failure();
  if (LineResult<> set = line->SetQueuesAndTimeouts(); !set) return set.Failure();
  if (options.rs485) line->RefuseRs485();
  line->ReadLatencyTimer();
  return std::unique_ptr<LineTransport>(std::move(line));
}
