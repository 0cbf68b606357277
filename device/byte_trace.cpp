// The byte trace's lines and the file they go to.
#include "device/byte_trace.h"

#include <cerrno>
#include <cstring>

#include "device/byte_trace_target.h"
#include "settings/whole_file.h"

std::FILE* OpenTraceTarget(const std::string& path, std::string* error, const std::vector<KeptFile>& kept) {
  for (const KeptFile& file : kept) {
    if (!file.path.empty() && file.path != "-" && WouldReplace(path, file.path)) {
      if (error) *error = path + ": " + file.what + "; the trace would replace it";
      return nullptr;
    }
  }
  return OpenTraceFile(path, error);
}

std::string TraceLine(CSerialLink::TraceDirection direction, uint8_t byte, std::chrono::steady_clock::time_point at,
                      const std::string& line) {
  const long long micros =
      std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch()).count();
  char head[64];
  std::snprintf(head, sizeof head, "%lld %s %02x ", micros,
                direction == CSerialLink::TraceDirection::kSent ? "sent" : "received", byte);
  // The path comes from the profile: its control bytes must not act on the
  // terminal a trace to standard error is read on.
  std::string text = head;
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      text += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      text += escaped;
    }
  }
  return text;
}

std::unique_ptr<CByteTraceFile> CByteTraceFile::Open(const std::string& path, std::string* error,
                                                     const std::vector<KeptFile>& kept) {
  if (path == "-") return std::unique_ptr<CByteTraceFile>(new CByteTraceFile(stderr, false, "standard error"));
  std::FILE* file = OpenTraceTarget(path, error, kept);
  if (!file) return nullptr;
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
