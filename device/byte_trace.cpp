// The byte trace's lines and the file they go to.
#include "device/byte_trace.h"

#include <cerrno>
#include <cstring>

std::string TraceLine(CSerialLink::TraceDirection direction, uint8_t byte, std::chrono::steady_clock::time_point at,
                      const std::string& line) {
  const long long micros =
      std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch()).count();
  char head[64];
  std::snprintf(head, sizeof head, "%lld %s %02x ", micros,
                direction == CSerialLink::TraceDirection::kSent ? "sent" : "received", byte);
  return head + line;
}

std::unique_ptr<CByteTraceFile> CByteTraceFile::Open(const std::string& path, std::string* error) {
  if (path == "-") return std::unique_ptr<CByteTraceFile>(new CByteTraceFile(stderr, false, "standard error"));
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    if (error) *error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<CByteTraceFile>(new CByteTraceFile(file, true, path));
}

CByteTraceFile::CByteTraceFile(std::FILE* file, bool owned, std::string path)
    : m_file(file), m_owned(owned), m_path(std::move(path)) {}

CByteTraceFile::~CByteTraceFile() {
  if (m_owned) std::fclose(m_file);
}

void CByteTraceFile::Write(CSerialLink::TraceDirection direction, uint8_t byte,
                           std::chrono::steady_clock::time_point at, const std::string& line) {
  const std::string text = TraceLine(direction, byte, at, line) + '\n';
  const bool written = std::fwrite(text.data(), 1, text.size(), m_file) == text.size();
  if ((!written || std::fflush(m_file) != 0) && m_error.empty()) {
    m_error = "trace not written to " + m_path + ": " + std::strerror(errno);
  }
}

CSerialLink::ByteTrace CByteTraceFile::For(const CSerialLink& link) {
  return [this, &link](CSerialLink::TraceDirection direction, uint8_t byte, std::chrono::steady_clock::time_point at) {
    Write(direction, byte, at, link.DevicePath());
  };
}
