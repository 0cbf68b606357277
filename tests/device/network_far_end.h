// A serial device server for the network line tests, written apart from the
// link's own Telnet code: a loopback TCP port that logs every byte with its
// arrival time, answers COM-port control or refuses it, stays silent, sends
// what a test gives it, floods, or drops the connection. One client at a
// time; a new one replaces the old.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FarEnd {
 public:
  enum class Mode {
    kRaw,            // bytes as they are
    kComPort,        // Telnet, agrees to BINARY and SUPPRESS-GO-AHEAD, answers COM-port settings
    kRefuseComPort,  // Telnet, says DONT to COM-port control
    kSilent,         // accepts, then neither reads nor says anything
    kTurnAway,       // raw; says "Port already in use" and closes, as a busy ser2net
    kComPortTurnAway,  // Telnet; as a busy ser2net: its option requests, once the client's
                       // opening is in (unread) "Port already in use", and a close that
                       // the unread opening turns into a reset
    kFlood,          // sends 0x00 without end and reads nothing (socat -u OPEN:/dev/zero)
    kOptionFlood,    // Telnet; sends IAC DO BINARY, IAC DONT BINARY without end, reads nothing
  };
  // A flood ends after this many bytes (in all), so that a client that takes
  // all it is sent ends too.
  static constexpr size_t kFloodLimit = size_t{64} << 20;
  using Clock = std::chrono::steady_clock;
  struct Arrival {
    Clock::time_point at;
    uint8_t byte;
  };

  // Listens on `host` ("127.0.0.1", "::1") at a free port; throws when it cannot.
  explicit FarEnd(Mode mode, const std::string& host = "127.0.0.1");
  ~FarEnd();
  FarEnd(const FarEnd&) = delete;
  FarEnd& operator=(const FarEnd&) = delete;

  int Port() const { return m_port; }
  // "tcp://127.0.0.1:PORT" or "rfc2217://[::1]:PORT" after the mode.
  std::string Address() const;

  // Data bytes as the far end decoded them (Telnet commands taken out).
  std::vector<Arrival> Data();
  bool WaitForData(size_t count, std::chrono::milliseconds timeout);

  // Sends `bytes` to the client as they are (already in wire form).
  void Send(const std::vector<uint8_t>& bytes);
  // Holds each answer back `ms` before sending it: a slow network.
  void SetAnswerDelay(int ms) { m_answerDelayMs = ms; }
  // Drops the client with a reset once `afterBytes` data bytes came in all
  // (0: now).
  void ResetAfter(size_t afterBytes);
  // Closes the client connection in order (the client reads an end).
  void CloseClient();
  // Stops listening and drops the client.
  void Stop();

 private:
  bool Listen();
  struct Task {
    std::function<void()> body;
    bool done = false;
  };
  // Runs `body` on the serving thread and waits for it.
  void RunOnServer(std::function<void()> body);
  void Serve();
  void Decode(const uint8_t* bytes, size_t count, std::vector<uint8_t>* reply);
  void DropClient(bool reset);
  void Flood();
  // Says "Port already in use" and closes, as ser2net does.
  void TurnAway();
  void TurnAwayAfterOpening();

  Mode m_mode;
  std::string m_host;
  int m_port = 0;
  int m_listener = -1;
  int m_client = -1;
  int m_wake[2] = {-1, -1};
  std::mutex m_mutex;
  std::vector<Arrival> m_data;
  size_t m_resetAfter = SIZE_MAX;
  std::vector<uint8_t> m_sub;
  int m_scan = 0;  // 0 data, 1 after IAC, 2 option verb, 3 in SB, 4 IAC in SB
  uint8_t m_verb = 0;
  bool m_stop = false;
  std::atomic<int> m_answerDelayMs{0};
  std::atomic<size_t> m_flooded{0};
  std::vector<uint8_t> m_floodPattern;
  std::mutex m_taskMutex;
  std::condition_variable m_taskDone;
  std::vector<Task*> m_tasks;
  std::thread m_server;
};
