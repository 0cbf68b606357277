// An INI text held line by line (see ini_document.h).
#include "settings/ini_document.h"

#include <utility>

namespace {

constexpr size_t kNone = std::string::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

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

}  // namespace

CIniDocument::CIniDocument(std::string_view text) {
  size_t crlf = 0;
  size_t lf = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t newline = text.find('\n', start);
    size_t stop = newline == kNone ? text.size() : newline + 1;
    std::string_view whole = text.substr(start, stop - start);
    size_t endLength = 0;
    if (!whole.empty() && whole.back() == '\n') {
      endLength = whole.size() >= 2 && whole[whole.size() - 2] == '\r' ? 2 : 1;
      (endLength == 2 ? crlf : lf) += 1;
    } else if (!whole.empty() && whole.back() == '\r') {
      endLength = 1;
    }
    m_lines.push_back(ParseLine(std::string(whole.substr(0, whole.size() - endLength)),
                                std::string(whole.substr(whole.size() - endLength))));
    start = stop;
  }
  if (crlf > lf) m_newline = "\r\n";
}

CIniDocument::Line CIniDocument::ParseLine(std::string body, std::string end) {
  Line line;
  line.body = std::move(body);
  line.end = std::move(end);
  std::string_view text = line.body;
  std::string_view content = Trim(text);
  if (content.empty() || content.front() == ';' || content.front() == '#') return line;

  if (content.front() == '[') {
    size_t close = content.find(']');
    if (close != kNone) {
      line.kind = Kind::kSection;
      line.name = Trim(content.substr(1, close - 1));
    }
    return line;
  }

  size_t equals = text.find('=');
  if (equals == kNone) return line;
  line.kind = Kind::kKey;
  line.name = Trim(text.substr(0, equals));
  line.valueBegin = equals + 1;
  line.valueEnd = text.size();
  while (line.valueBegin < line.valueEnd && IsBlank(text[line.valueBegin])) ++line.valueBegin;
  while (line.valueEnd > line.valueBegin && IsBlank(text[line.valueEnd - 1])) --line.valueEnd;
  return line;
}

CIniDocument::Place CIniDocument::Find(std::string_view section, std::string_view key) const {
  Place place{kNone, kNone, kNone};
  bool inside = false;      // in any block of the section: keys are found there
  bool firstBlock = false;  // in its first block: new keys are added there
  for (size_t i = 0; i < m_lines.size(); ++i) {
    const Line& line = m_lines[i];
    if (line.kind == Kind::kSection) {
      inside = SameName(line.name, section);
      firstBlock = inside && place.sectionLine == kNone;
      if (firstBlock) place.sectionLine = place.lastEntry = i;
      continue;
    }
    if (!inside) continue;
    if (line.kind == Kind::kKey && SameName(line.name, key)) {
      place.keyLine = i;
      return place;
    }
    std::string_view content = Trim(line.body);
    bool entry = !content.empty() && content.front() != ';' && content.front() != '#';
    if (firstBlock && entry) place.lastEntry = i;
  }
  return place;
}

std::optional<std::string_view> CIniDocument::Value(std::string_view section,
                                                    std::string_view key) const {
  Place place = Find(section, key);
  if (place.keyLine == kNone) return std::nullopt;
  const Line& line = m_lines[place.keyLine];
  return std::string_view(line.body).substr(line.valueBegin, line.valueEnd - line.valueBegin);
}

void CIniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  Place place = Find(section, key);
  if (place.keyLine != kNone) {
    Line& line = m_lines[place.keyLine];
    line.body.replace(line.valueBegin, line.valueEnd - line.valueBegin, value);
    line.valueEnd = line.valueBegin + value.size();
    return;
  }
  std::string entry = std::string(key) + "=" + std::string(value);
  if (place.sectionLine != kNone) {
    Insert(place.lastEntry + 1, std::move(entry));
    return;
  }
  // A new section goes at the end, parted from what precedes it by a blank line.
  if (!m_lines.empty() && !Trim(m_lines.back().body).empty()) Insert(m_lines.size(), "");
  std::string header;
  header.reserve(section.size() + 2);
  header.append("[").append(section).append("]");
  Insert(m_lines.size(), std::move(header));
  Insert(m_lines.size(), std::move(entry));
}

void CIniDocument::Insert(size_t at, std::string body) {
  // A line placed after the text's unterminated last line needs that line ended.
  if (at > 0) {
    std::string& before = m_lines[at - 1].end;
    if (before.empty()) before = m_newline;
    if (before == "\r") before = "\r\n";
  }
  m_lines.insert(m_lines.begin() + at, ParseLine(std::move(body), m_newline));
}

std::string CIniDocument::Text() const {
  size_t size = 0;
  for (const Line& line : m_lines) size += line.body.size() + line.end.size();
  std::string text;
  text.reserve(size);
  for (const Line& line : m_lines) {
    text += line.body;
    text += line.end;
  }
  return text;
}
