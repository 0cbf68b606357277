// The journal's lines and the telling of a journal that cannot be written;
// where it lives and how a line is appended are each system's own files.
#include "settings/journal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "settings/utf8_text.h"

namespace {

// `text` as a JSON string. A byte outside UTF-8 (a device path or a user
// name is whatever bytes the system holds) is kept as JournalText writes it:
// JSON can carry no such byte, and a reader would drop the whole line.
std::string JsonText(const std::string& text) {
  std::string json = "\"";
  for (const char c : JournalText(text)) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': json += "\\\""; break;
      case '\\': json += "\\\\"; break;
      case '\n': json += "\\n"; break;
      case '\r': json += "\\r"; break;
      case '\t': json += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          json += escaped;
        } else {
          json += c;
        }
    }
  }
  return json + '"';
}

std::string Field(const char* name, const std::string& text) { return JsonText(name) + ":" + JsonText(text); }

}  // namespace

std::string JournalText(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string kept;
  kept.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t point = 0;
    if (const size_t length = Utf8CharacterAt(text, i, &point); length > 0) {
      kept.append(text.substr(i, length));
      i += length;
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[i++]);
    kept += "\\x";
    kept += kHex[byte >> 4];
    kept += kHex[byte & 15];
  }
  return kept;
}

JournalEntry JournalFor(int unit, std::string label, std::string command, std::string outcome) {
  JournalEntry entry;
  entry.unit = unit;
  entry.label = std::move(label);
  entry.command = std::move(command);
  entry.outcome = std::move(outcome);
  return entry;
}

namespace {

// [[sequence, ch1, ch2, ch3, ch4], ...]
std::string RowsText(const std::vector<JournalRow>& rows) {
  std::string text = "[";
  for (size_t r = 0; r < rows.size(); ++r) {
    text += (r > 0 ? ",[" : "[") + std::to_string(rows[r].sequence);
    for (const int32_t value : rows[r].channels) text += "," + std::to_string(value);
    text += "]";
  }
  return text + "]";
}

}  // namespace

std::string JournalLineText(const JournalWriter& writer, const std::string& time, const JournalEntry& entry) {
  std::string line = "{\"v\":" + std::to_string(kJournalVersion) + "," + Field("time", time) + "," + Field("host", writer.host) + "," + Field("user", writer.user) + ",";
  if (!entry.technician.empty()) line += Field("technician", entry.technician) + ",";
  line += Field("program", writer.program) + "," + Field("version", writer.version) + ",";
  line += "\"line\":{" + Field("device", entry.device);
  if (!entry.serial.empty()) line += "," + Field("serial", entry.serial);
  line += "},\"unit\":" + std::to_string(entry.unit) + ",";
  if (!entry.label.empty()) line += Field("label", entry.label) + ",";
  line += Field("command", entry.command) + ",";
  if (entry.value || entry.askedValue) {
    // A value whose frame did not leave whole went out as nothing.
    line += "\"value\":" + (entry.value ? std::to_string(*entry.value) : std::string("null")) + ",";
    if (entry.askedValue && entry.askedValue != entry.value) line += "\"asked\":" + std::to_string(*entry.askedValue) + ",";
  } else {
    line += "\"rows\":" + RowsText(entry.rows) + ",";
    // Each row that went out otherwise than asked, as asked.
    std::vector<JournalRow> differing;
    for (const JournalRow& wire : entry.rows) {
      for (const JournalRow& asked : entry.askedRows) {
        if (asked.sequence == wire.sequence && asked.channels != wire.channels) differing.push_back(asked);
      }
    }
    if (!differing.empty()) line += "\"asked\":" + RowsText(differing) + ",";
  }
  if (entry.readAgain > 0) line += "\"read_again\":" + std::to_string(entry.readAgain) + ",";
  return line + Field("outcome", entry.outcome) + "}\n";
}

std::string JournalTimeNow() { return JournalTimeText(std::chrono::system_clock::now()); }

std::string JournalTimeText(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(time);
  const auto day = floor<days>(now);
  const year_month_day date(day);
  const hh_mm_ss<milliseconds> clock(now - day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

std::string JournalPath() {
  const char* chosen = std::getenv("DIMLET_JOURNAL");
  if (!chosen || !chosen[0]) return DefaultJournalPath();
  if (std::string(chosen) == "off") return {};
  return chosen;
}

CJournal::CJournal(std::string program, std::string version)
    : CJournal(JournalPath(), {std::move(program), std::move(version), JournalHostName(), JournalUserName()}) {}

CJournal::CJournal(std::string path, JournalWriter writer) : m_path(std::move(path)), m_writer(std::move(writer)) {}

std::string CJournal::Append(const JournalEntry& entry) {
  if (m_path.empty()) return {};
  std::string error;
  // The lines of a dimlet-cli run work side by side: one writes at a time.
  const std::lock_guard<std::mutex> hold(m_mutex);
  if (AppendJournalLine(m_path, JournalLineText(m_writer, JournalTimeNow(), entry), kJournalRotateBytes, &error)) {
    m_told = false;
    return {};
  }
  if (m_told) return {};
  m_told = true;
  return error + "; the work goes on without it (DIMLET_JOURNAL=off turns it off)";
}
