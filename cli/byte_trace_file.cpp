// The file --trace writes every byte into: one writer at a time, flushed at
// each byte, its failures kept for the end of the run.
#include "cli/byte_trace_file.h"

#include <cerrno>
#include <cstring>

#include "device/byte_trace.h"

ByteTraceFile::~ByteTraceFile() {
  Close();  // a trace left open is closed on an early return, already failed
}

CliChecked ByteTraceFile::Open(const std::string& name, const std::vector<KeptFile>& kept) {
  m_name = name;
  if (name == "-") {
    m_file = stderr;
    return {};
  }
  std::string why;
  m_file = OpenTraceTarget(name, &why, kept);
  if (!m_file) return UsageFailure("--trace " + why);
  m_own = true;
  return {};
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

CliChecked ByteTraceFile::Close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_file) return {};
  errno = 0;
  if (m_failure == 0 && (std::fflush(m_file) != 0 || std::ferror(m_file))) m_failure = errno != 0 ? errno : EIO;
  if (m_own && std::fclose(m_file) != 0 && m_failure == 0) m_failure = errno;
  m_file = nullptr;
  if (m_failure == 0) return {};
  if (m_failure == EPIPE) return ClosedPipeFailure("--trace " + m_name + ": its reader left; the trace ends there");
  return WorkFailure(std::string("the byte trace could not be written: ") + std::strerror(m_failure));
}
