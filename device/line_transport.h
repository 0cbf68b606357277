// What CSerialLink needs of the thing that carries its bytes: a serial port on
// this machine (tty_transport.cpp, com_transport_windows.cpp) or a connection
// to a serial device server (network_transport.cpp). The link above knows frames, echo and answer waits;
// a transport only moves single bytes, and every wait in it ends at the
// caller's deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "device/line_result.h"
#include "device/serial_link.h"
#include "settings/line_options.h"

using LineClock = std::chrono::steady_clock;

class LinkWatch;

class LineTransport {
 public:
  virtual ~LineTransport() = default;

  // Every call that can fail returns a LineResult. Its failure's fault is
  // kLost when the line went away (it will not come back on this transport);
  // any other fault leaves a line that may still work.

  // Writes one byte and waits for it to leave (a tty's output queue is empty
  // again; a socket took it) until `deadline`. A byte not taken, or not gone,
  // by then fails with what waited dropped.
  virtual LineResult<> WriteByte(uint8_t byte, LineClock::time_point deadline) = 0;

  // Up to `maxCount` bytes that have already arrived, in order; never waits
  // for bytes that have not. A read in progress is waited for until
  // `deadline`. The count (0: nothing waiting), or why none could be read.
  virtual LineResult<int32_t> ReadWaiting(uint8_t* buffer, int32_t maxCount, LineClock::time_point deadline) = 0;

  // Waits until a byte can be read or `deadline` passes; true when one can.
  // Also true when the line went away (the next read tells).
  virtual bool WaitReadable(LineClock::time_point deadline) = 0;

  // Drops what has arrived and not been read; fails only when the line went away.
  virtual LineResult<> DiscardWaiting() = 0;

  // Joins the link's watch (link_watch.h) from open to Close(), so that a
  // caller waiting on the watch wakes when the line hangs up. A line whose
  // system has no such event joins nothing: its loss shows at the next call.
  virtual void JoinWatch(LinkWatch& watch) { (void)watch; }
  // Why the line ended as the system knows it (a connection reset), once the
  // watch saw it end; empty when the system says nothing more.
  virtual std::string EndReason() const { return {}; }

  // The USB adapter's latency timer in ms, or -1 (none, unknown).
  virtual int32_t LatencyTimerMs() const { return -1; }

  // How the line was set up, for the status line, in plain words; empty when
  // there is nothing to say ("no RS-485 mode in this driver: used as it is",
  // "network round trip 4 ms").
  virtual std::string Notes() const { return {}; }

  // Puts back what opening changed (line settings, RS-485 mode) and lets the
  // line go. Closing twice does nothing.
  virtual void Close() = 0;
};

// Opens the line `name` stands for, by the one table of line kinds
// (line_schemes.cpp): a device path (OpenSerialLine), tcp:// or rfc2217://
// (OpenNetworkLine); another scheme fails in words that name the ones there are.
OpenedLine OpenLine(const std::string& name, int32_t baud, const LineOptions& options);

// Opens the serial port at `path` exclusively, raw 8N1 at `baud`: a tty
// (tty_transport.cpp) or a COM port (com_transport_windows.cpp). Asks for
// RS-485 mode when `options.rs485`.
OpenedLine OpenSerialLine(const std::string& path, int32_t baud, const LineOptions& options);

// Connects to the network line at `address` (tcp:// or rfc2217://), within
// the bound of a local open; for rfc2217:// sets `baud` 8N1 without flow
// control on the server's port.
OpenedLine OpenNetworkLine(const std::string& address, int32_t baud, const LineOptions& options);
