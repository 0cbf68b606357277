// An INI text kept as the bytes read (see ini_document.h).
#include "settings/ini_document.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

constexpr size_t kNone = std::string::npos;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Entries are 32-bit offsets into the text.
constexpr size_t kLargestText = std::numeric_limits<uint32_t>::max();

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Blank lines and comments are never looked at again, so they get no entry.
bool IsEntry(std::string_view body) {
  std::string_view content = Trim(body);
  return !content.empty() && content.front() != ';' && content.front() != '#';
}

bool IsSectionHeader(std::string_view body) {
  std::string_view content = Trim(body);
  return !content.empty() && content.front() == '[' && content.find(']') != std::string_view::npos;
}

// Room kept at the end of the text and the indexes for what a program adds to
// a file (its section and keys), so that adding them moves nothing.
constexpr size_t kRoomForKeys = 4096;
constexpr size_t kRoomForEntries = 64;

void CheckSize(size_t size) {
  if (size > kLargestText) throw std::length_error("INI text larger than 4 GiB");
}

}  // namespace

CIniDocument::CIniDocument(std::string text) : m_text(std::move(text)) {
  CheckSize(m_text.size());
  if (std::string_view(m_text).substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    m_bodyStart = kByteOrderMark.size();
  }
  size_t crlf = 0;
  size_t lf = 0;
  size_t cr = 0;
  size_t entries = 0;
  size_t sections = 0;
  for (size_t begin = m_bodyStart; begin < m_text.size();) {
    const size_t end = LineEnd(begin);
    const size_t next = NextLine(begin);
    if (next - end == 2) {
      ++crlf;
    } else if (next - end == 1) {
      ++(m_text[end] == '\n' ? lf : cr);
    }
    const std::string_view body = std::string_view(m_text).substr(begin, end - begin);
    if (IsEntry(body)) ++entries;
    if (IsSectionHeader(body)) ++sections;
    begin = next;
  }
  // Counted first so that the indexes are allocated once, at their final size.
  m_entries.reserve(entries + kRoomForEntries);
  m_sections.reserve(sections + kRoomForEntries);
  for (size_t begin = m_bodyStart; begin < m_text.size(); begin = NextLine(begin)) {
    const std::string_view body = Body(begin);
    if (!IsEntry(body)) continue;
    if (IsSectionHeader(body)) m_sections.push_back(static_cast<uint32_t>(m_entries.size()));
    m_entries.push_back(static_cast<uint32_t>(begin));
  }
  if (m_text.capacity() < m_text.size() + kRoomForKeys) m_text.reserve(m_text.size() + kRoomForKeys);
  if (crlf > lf && crlf >= cr) {
    m_newline = "\r\n";
  } else if (cr > lf && cr > crlf) {
    m_newline = "\r";
  }
}

size_t CIniDocument::LineEnd(size_t begin) const {
  const size_t size = m_text.size();
  const char* text = m_text.data();
  size_t end = begin;
  while (end < size && !IsLineEnd(text[end])) ++end;
  return end;
}

size_t CIniDocument::NextLine(size_t begin) const {
  const size_t end = LineEnd(begin);
  if (end == m_text.size()) return end;
  if (m_text[end] == '\r' && end + 1 < m_text.size() && m_text[end + 1] == '\n') return end + 2;
  return end + 1;
}

std::string_view CIniDocument::Body(size_t begin) const {
  return std::string_view(m_text).substr(begin, LineEnd(begin) - begin);
}

CIniDocument::Place CIniDocument::Find(std::string_view section, std::string_view key) const {
  Place place{kNone, kNone, kNone};
  // Keys are found in any block of the section; new keys go into its first.
  for (size_t h = 0; h < m_sections.size(); ++h) {
    const size_t header = m_sections[h];
    std::string_view content = Trim(Body(m_entries[header]));
    if (!SameName(Trim(content.substr(1, content.find(']') - 1)), section)) continue;
    const bool firstBlock = place.sectionEntry == kNone;
    if (firstBlock) place.sectionEntry = place.lastEntry = header;
    const size_t blockEnd = h + 1 < m_sections.size() ? m_sections[h + 1] : m_entries.size();
    for (size_t i = header + 1; i < blockEnd; ++i) {
      std::string_view body = Body(m_entries[i]);
      // A '[' without ']' is neither a section nor a key.
      if (Trim(body).front() != '[') {
        size_t equals = body.find('=');
        if (equals != kNone && SameName(Trim(body.substr(0, equals)), key)) {
          place.keyEntry = i;
          return place;
        }
      }
      if (firstBlock) place.lastEntry = i;
    }
  }
  return place;
}

std::optional<std::string_view> CIniDocument::Value(std::string_view section,
                                                    std::string_view key) const {
  Place place = Find(section, key);
  if (place.keyEntry == kNone) return std::nullopt;
  std::string_view body = Body(m_entries[place.keyEntry]);
  return Trim(body.substr(body.find('=') + 1));
}

void CIniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  Place place = Find(section, key);
  if (place.keyEntry != kNone) {
    const size_t begin = m_entries[place.keyEntry];
    std::string_view body = Body(begin);
    size_t valueBegin = begin + body.find('=') + 1;
    size_t valueEnd = begin + body.size();
    while (valueBegin < valueEnd && IsBlank(m_text[valueBegin])) ++valueBegin;
    while (valueEnd > valueBegin && IsBlank(m_text[valueEnd - 1])) --valueEnd;
    if (std::string_view(m_text).substr(valueBegin, valueEnd - valueBegin) == value) return;
    CheckSize(m_text.size() + value.size());
    m_text.replace(valueBegin, valueEnd - valueBegin, value);
    Shift(place.keyEntry + 1, static_cast<int64_t>(value.size()) - static_cast<int64_t>(valueEnd - valueBegin));
    m_changed = true;
    return;
  }
  std::string entry;
  entry.reserve(key.size() + 1 + value.size());
  entry.append(key).append("=").append(value);
  if (place.sectionEntry != kNone) {
    InsertLine(NextLine(m_entries[place.lastEntry]), place.lastEntry + 1, entry);
    return;
  }
  // A new section goes at the end, parted from what precedes it by a blank line.
  if (m_text.size() > m_bodyStart) {
    size_t end = m_text.size();
    if (m_text[end - 1] == '\n') {
      --end;
      if (end > m_bodyStart && m_text[end - 1] == '\r') --end;
    } else if (m_text[end - 1] == '\r') {
      --end;
    }
    size_t start = end;
    while (start > m_bodyStart && !IsLineEnd(m_text[start - 1])) --start;
    if (!Trim(std::string_view(m_text).substr(start, end - start)).empty()) {
      InsertLine(m_text.size(), m_entries.size(), "");
    }
  }
  std::string header;
  header.reserve(section.size() + 2);
  header.append("[").append(section).append("]");
  InsertLine(m_text.size(), m_entries.size(), header);
  InsertLine(m_text.size(), m_entries.size(), entry);
}

void CIniDocument::InsertLine(size_t at, size_t entry, std::string_view line) {
  std::string piece;
  // A line placed after the text's unterminated last line needs that line ended.
  if (at == m_text.size() && at > m_bodyStart && !IsLineEnd(m_text.back())) piece += m_newline;
  const size_t lineStart = at + piece.size();
  piece += line;
  // A "\r" before a line that begins with "\n" would join them into one end.
  piece += m_newline == "\r" && at < m_text.size() && m_text[at] == '\n' ? "\r\n" : m_newline;
  CheckSize(m_text.size() + piece.size());
  m_text.insert(at, piece);
  m_changed = true;
  Shift(entry, static_cast<int64_t>(piece.size()));
  if (!IsEntry(line)) return;
  m_entries.insert(m_entries.begin() + static_cast<ptrdiff_t>(entry), static_cast<uint32_t>(lineStart));
  // Headers at or after the new entry move one entry on.
  auto later = std::lower_bound(m_sections.begin(), m_sections.end(), static_cast<uint32_t>(entry));
  for (auto it = later; it != m_sections.end(); ++it) ++*it;
  if (IsSectionHeader(line)) m_sections.insert(later, static_cast<uint32_t>(entry));
}

void CIniDocument::Shift(size_t firstEntry, int64_t delta) {
  if (delta == 0) return;
  for (size_t i = firstEntry; i < m_entries.size(); ++i) {
    m_entries[i] = static_cast<uint32_t>(static_cast<int64_t>(m_entries[i]) + delta);
  }
}
