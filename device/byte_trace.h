// The byte trace: every byte a link sends and receives, one line per byte,
// in one format for every program that writes it (dimlet --trace and
// dimlet-cli alike):
//
//   <µs on the monotonic clock> <sent|received> <hex byte> <line>
//   12345678 sent a0 /dev/pts/3
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "device/serial_link.h"

// One trace line for `byte`, seen at `at` going in `direction` on the line
// (device path) `line`; without a line end.
std::string TraceLine(CSerialLink::TraceDirection direction, uint8_t byte, std::chrono::steady_clock::time_point at,
                      const std::string& line);

// Whether the terminal `fd` is one this program already writes its text to
// (its standard output or error, /dev/tty). Any other terminal may be a unit
// line: text written there goes out on the wire.
bool IsOwnTerminal(int fd);

// A file the program reads that a trace must never replace, and what it is
// to the program ("the profile"), for the words of the refusal.
struct KeptFile {
  std::string path;
  std::string what;
};

// Opens `path` to take a trace, replacing what it held. Refused (nullptr,
// *error saying why) are a FIFO nobody reads, which would hold the program
// before its first byte, a terminal other than the program's own (standard
// output or error, /dev/tty): that may be a unit line, and the trace's text
// would go out on it, and any of the `kept` files, which it would empty.
std::FILE* OpenTraceTarget(const std::string& path, std::string* error, const std::vector<KeptFile>& kept = {});

// Where a trace goes: a file, or standard error.
class CByteTraceFile {
 public:
  // Opens `path` for writing, replacing what it held; "-" is standard error.
  // Nothing, with *error set (the path and the system's reason), when the
  // file cannot be opened or is refused as OpenTraceTarget refuses it.
  static std::unique_ptr<CByteTraceFile> Open(const std::string& path, std::string* error,
                                              const std::vector<KeptFile>& kept = {});
  ~CByteTraceFile();  // closes the file (never standard error)
  CByteTraceFile(const CByteTraceFile&) = delete;
  CByteTraceFile& operator=(const CByteTraceFile&) = delete;

  // Writes one line and flushes it, so a trace is whole up to the last byte
  // even when the program is killed. The first failed write is kept in Error().
  void Write(CSerialLink::TraceDirection direction, uint8_t byte, std::chrono::steady_clock::time_point at,
             const std::string& line);
  // A trace for link.SetByteTrace: each byte with `link`'s device path at the
  // time. This file and `link` must outlive every call of it.
  CSerialLink::ByteTrace For(const CSerialLink& link);

  // Why a write failed; empty while none did.
  const std::string& Error() const { return m_error; }

 private:
  CByteTraceFile(std::FILE* file, bool owned, std::string path);

  std::FILE* m_file;
  bool m_owned;
  std::string m_path;
  std::string m_error;
};
