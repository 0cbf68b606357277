// The file --trace writes every byte into, shared by the lines' threads.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_failure.h"
#include "device/byte_trace.h"
#include "device/serial_link.h"

// Where --trace writes, shared by the lines' threads.
class ByteTraceFile {
 public:
  ~ByteTraceFile();
  // Opens `name` ("-": standard error); a usage failure when it cannot, and
  // for any of the `kept` files the program reads (see OpenTraceTarget).
  CliChecked Open(const std::string& name, const std::vector<KeptFile>& kept);
  bool IsOpen() const { return m_file != nullptr; }
  // One byte's line, as TraceLine (device/byte_trace.h) writes it.
  // Flushed at once, so that a reader sees each byte as it comes and a
  // reader that left is found at the next byte.
  void Byte(const std::string& line, CSerialLink::TraceDirection direction, uint8_t byte,
            std::chrono::steady_clock::time_point at);
  // Whether the trace went into a pipe or FIFO whose reader has left.
  bool ReaderLeft() const;
  // The trace's file as given to --trace.
  const std::string& Name() const { return m_name; }
  // A failure when something could not be written (its status 128 +
  // SIGPIPE when the reader left).
  CliChecked Close();

 private:
  FILE* m_file = nullptr;
  std::string m_name;
  bool m_own = false;
  int m_failure = 0;  // the errno of the first write that failed
  mutable std::mutex m_mutex;
};
