// A simulated line of LED controller units, on a pseudo-terminal or served
// over raw TCP. The program under test opens the slave side as its serial
// device, or connects as tcp://HOST:PORT (one client at a time); the
// simulator serves the line on a thread of its own, recognises the frames
// each unit is sent, acts on them and answers read-row frames.
//
// This is an independent reading of the wire protocol: it shares no code with
// the program's own command layer.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// What a unit holds: kRows rows (the operator's sequences 1-8) of kChannels
// values, each 128 from the factory. The highest sequence it runs is at most
// its number of rows.
inline constexpr int kRows = 8;
inline constexpr int kChannels = 4;
inline constexpr int kFreshIntensity = 128;
using RowValues = std::array<int, kChannels>;
using UnitRows = std::array<RowValues, kRows>;

struct UnitState {
  int address = 0;
  UnitRows rows{};    // what write-row set
  UnitRows stored{};  // what the last store kept
  bool running = false;
  int highestSequence = kRows;
};

// One frame as a unit recognised it.
struct FrameRecord {
  double seconds = 0;        // since the line started
  std::vector<uint8_t> bytes;
  std::string text;          // the log line without its time stamp
};

// One byte as the master side received it, with its arrival time.
struct ByteRecord {
  std::chrono::steady_clock::time_point at;
  uint8_t byte = 0;
};

struct SimOptions {
  std::vector<int> units = {0, 1, 2, 3, 4, 5, 6, 7};  // addresses present
  std::string linkPath;   // if set, a symbolic link to the slave is made here
  // With a port (0: any free one), the line is served over raw TCP on
  // listenHost instead of a pseudo-terminal: one client at a time, a second
  // one is refused (closed at once, with a log line), and a client that hangs
  // up leaves the line waiting for the next.
  std::string listenHost = "127.0.0.1";
  int listenPort = -1;
  std::string stateFile;  // if set, stored rows are kept here across runs
  int answerDelayMs = 0;  // delay before a read-row answer
  // Like a USB adapter's latency timer: bytes for the client are held from
  // the first one until this many ms have passed, then released together.
  int latencyMs = 0;
  int answerBytes = 4;    // how many of the four answer bytes are sent
  bool silent = false;    // recognise frames but never answer
  // A second unit at this address (one of `units`; -1: none), answering
  // with the first a little apart, so that their bytes garble on the line.
  int sharedAddress = -1;
  // Return every byte the host sends, at once, as a two-wire RS-485 adapter
  // hears its own transmission; the units still see the frames.
  bool echo = false;
  bool keepRecords = true;  // false: Frames() and Received() stay empty, so a
                            // line left running for days does not grow
};

class SimLine {
 public:
  explicit SimLine(SimOptions options = {});
  ~SimLine();  // stops the thread, closes the master, removes the link
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  // Opens the pty and makes the link, or listens, and starts serving. False
  // with *error set when any step fails.
  bool Start(std::string* error = nullptr);
  void Stop();

  // Where a client opens the line: the slave's path, or tcp://HOST:PORT as
  // bound when listening. It changes only in Start() and Reconnect(), so read
  // it from the thread that calls those.
  const std::string& SlavePath() const;

  // Each frame's log line ("unit 1: write row 3 = 0 128 255 44"), time-stamped,
  // is passed here as it is recognised (on the simulator's thread), and so
  // are lines for skipped bytes ("skipped 2 bytes: a0 57") and for a store
  // that could not be kept in the state file. The sink may call back into
  // this object.
  void SetLogSink(std::function<void(const std::string&)> sink);

  // Behaviour changes, safe to call from any thread while running.
  void SetAnswerDelay(int ms);
  void SetLatency(int ms);
  void SetAnswerBytes(int count);
  void SetSilent(bool silent);
  void SendStray(const std::vector<uint8_t>& bytes);  // written to the line now
  // Closes the master: a client sees POLLHUP and EIO, nothing is answered,
  // and the link (if any) is removed, as a device node goes with its device.
  // Over TCP: closes the client's connection; the next may connect.
  void HangUp();
  // Serves a new pty with the units as they were and points the link at it
  // in one step; the old pty, if still open, is hung up. Over TCP: as
  // HangUp(). False with *error when the line is not running or the new pty
  // or link cannot be made.
  bool Reconnect(std::string* error = nullptr);

  // What has been seen so far (copies, thread-safe).
  std::vector<FrameRecord> Frames() const;
  std::vector<ByteRecord> Received() const;
  std::vector<uint8_t> ReceivedBytes() const;
  void ClearRecords();
  // Waits until at least `count` frames were recognised since the start or
  // the last ClearRecords(), at most `timeout`. True if they were.
  bool WaitForFrames(size_t count, std::chrono::milliseconds timeout) const;

  // State of the unit now answering at `address`; a UnitState whose address
  // is -1 if none does. SetUnitRow ignores an absent unit or a row outside
  // 0..7 and clamps values to 0..255.
  bool HasUnit(int address) const;
  UnitState Unit(int address) const;
  void SetUnitRow(int address, int row, RowValues values);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace sim
