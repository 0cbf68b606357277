// What the simulator's serving thread asks of the system: waiting on several
// handles at once, reading and writing without blocking, a wake-up another
// thread can give, and a TCP server for one client at a time. Each system's
// half is its own file: sim_io.cpp (POSIX: file descriptors, poll) and
// sim_io_windows.cpp (Winsock sockets, WSAPoll). Nothing here is shared with
// the program's own network line: the simulator stays an independent far end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim::io {

// A descriptor on POSIX, a SOCKET on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// One handle to wait on and what for; Wait() sets the answers. A hang-up or
// an error counts as readable, so the read that follows finds it.
struct Watch {
  Handle handle = kNoHandle;  // kNoHandle: not watched
  bool read = false;
  bool write = false;
  bool readable = false;
  bool writable = false;
};

// Waits until a watched handle is ready or `timeoutMs` has passed (-1: no
// limit). An interrupted wait returns with nothing ready.
void Wait(Watch* watches, size_t count, int timeoutMs);

// How a read or write went. Ended: the client has gone (a socket closed or
// reset; a pseudo-terminal's master with no slave open).
struct Transfer {
  enum class Status { Done, WouldBlock, Ended, Failed };
  Status status = Status::Done;
  size_t count = 0;   // bytes moved when Done
  std::string error;  // the system's words when Failed
};
Transfer Read(Handle handle, uint8_t* buffer, size_t size);
Transfer Write(Handle handle, const uint8_t* bytes, size_t count);
void Close(Handle handle);

// A wake-up for the serving thread: Give() from any thread makes Waitable()
// readable until Take().
class WakeSignal {
 public:
  WakeSignal() = default;
  ~WakeSignal() { Close(); }
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  bool Open(std::string* error);  // false with *error set
  void Close();
  void Give();
  void Take();
  Handle Waitable() const { return m_read; }

 private:
  Handle m_read = kNoHandle;
  Handle m_write = kNoHandle;
};

// Listens for TCP clients on `host` (a name or a numeric address) and `port`
// (0: any free one). Returns the listening handle, non-blocking, with *where
// set to the address as bound ("127.0.0.1:5000", "[::1]:5000"); kNoHandle with
// *error set when the host is not found or the port cannot be had.
Handle Listen(const std::string& host, int port, std::string* where, std::string* error);

// The next client waiting on `listener`, non-blocking and sending each byte at
// once, with *peer set to its address; kNoHandle when none is waiting.
Handle Accept(Handle listener, std::string* peer);

// "host:port", with an IPv6 address in brackets.
inline std::string JoinHostPort(const std::string& host, const std::string& port) {
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + port;
}

// Why a port could not be listened on because another program holds it,
// alike on every system: "port 5000 is in use".
inline std::string PortInUseWords(const std::string& port) { return "port " + port + " is in use"; }

// Raises the calling thread's priority where the system allows it; a real
// unit answers in its own time whatever the host is doing.
void RaiseThreadPriority();

}  // namespace sim::io
