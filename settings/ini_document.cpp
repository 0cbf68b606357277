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

// A key whose "key=value" line reads back as that key and nothing else.
bool IsPlainKey(std::string_view key) {
  if (key != Trim(key)) return false;
  if (!key.empty() && (key.front() == '[' || key.front() == ';' || key.front() == '#')) return false;
  return key.find_first_of("=\r\n") == std::string_view::npos;
}

std::string KeyLine(std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + 1 + value.size());
  line.append(key).append("=").append(value);
  return line;
}

// FNV-1a of the name in lower case: names that SameName finds equal hash alike.
uint64_t NameHash(std::string_view name) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : name) {
    hash ^= static_cast<unsigned char>(Lower(c));
    hash *= 1099511628211ull;
  }
  return hash;
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

std::optional<std::string_view> CIniDocument::KeyName(size_t begin) const {
  // Only the bytes up to the '=' are read: a lookup passes over long values.
  const std::string_view text(m_text);
  size_t at = begin;
  while (at < text.size() && IsBlank(text[at])) ++at;
  // A '[' without ']' is neither a section nor a key.
  if (at < text.size() && text[at] == '[') return std::nullopt;
  size_t end = at;
  while (end < text.size() && text[end] != '=' && !IsLineEnd(text[end])) ++end;
  if (end == text.size() || text[end] != '=') return std::nullopt;
  return Trim(text.substr(at, end - at));
}

CIniDocument::Place CIniDocument::Find(std::string_view section, std::string_view key) const {
  Place place{};
  const size_t entry = FindAll(section, {&key, 1}, &place).front();
  place.keyEntry = entry;
  return place;
}

std::vector<size_t> CIniDocument::FindAll(std::string_view section, std::span<const std::string_view> keys,
                                           Place* firstBlock) const {
  // Each line's name is hashed once and looked up among the keys' hashes.
  std::vector<std::pair<uint64_t, size_t>> wanted;
  wanted.reserve(keys.size());
  for (size_t k = 0; k < keys.size(); ++k) wanted.emplace_back(NameHash(keys[k]), k);
  std::sort(wanted.begin(), wanted.end());

  std::vector<size_t> found(keys.size(), kNone);
  size_t missing = keys.size();
  Place place{kNone, kNone, kNone};
  // Keys are found in any block of the section; new keys go into its first.
  // Past the first block only while keys are missing; the first block is
  // always read to its end, for where new keys go.
  for (size_t h = 0; h < m_sections.size() && (missing > 0 || place.sectionEntry == kNone); ++h) {
    const size_t header = m_sections[h];
    std::string_view content = Trim(Body(m_entries[header]));
    if (!SameName(Trim(content.substr(1, content.find(']') - 1)), section)) continue;
    const bool first = place.sectionEntry == kNone;
    if (first) place.sectionEntry = place.lastEntry = header;
    const size_t blockEnd = h + 1 < m_sections.size() ? m_sections[h + 1] : m_entries.size();
    if (first) place.lastEntry = blockEnd - 1;
    for (size_t i = header + 1; i < blockEnd && missing > 0; ++i) {
      std::optional<std::string_view> name = KeyName(m_entries[i]);
      if (!name) continue;
      const uint64_t hash = NameHash(*name);
      auto match = std::lower_bound(wanted.begin(), wanted.end(), std::make_pair(hash, size_t{0}));
      for (; match != wanted.end() && match->first == hash; ++match) {
        // The first occurrence counts.
        if (found[match->second] != kNone || !SameName(*name, keys[match->second])) continue;
        found[match->second] = i;
        --missing;
      }
    }
  }
  if (firstBlock) *firstBlock = place;
  return found;
}

std::string_view CIniDocument::ValueAt(size_t entry) const {
  std::string_view body = Body(m_entries[entry]);
  return Trim(body.substr(body.find('=') + 1));
}

std::optional<std::string_view> CIniDocument::Value(std::string_view section,
                                                    std::string_view key) const {
  Place place = Find(section, key);
  if (place.keyEntry == kNone) return std::nullopt;
  return ValueAt(place.keyEntry);
}

std::vector<std::optional<std::string_view>> CIniDocument::Values(std::string_view section,
                                                                  std::span<const std::string_view> keys) const {
  std::vector<std::optional<std::string_view>> values;
  values.reserve(keys.size());
  for (size_t entry : FindAll(section, keys, nullptr)) {
    values.push_back(entry == kNone ? std::nullopt : std::optional<std::string_view>(ValueAt(entry)));
  }
  return values;
}

void CIniDocument::SetAll(std::string_view section,
                          const std::vector<std::pair<std::string_view, std::string>>& values) {
  std::vector<std::string_view> keys;
  keys.reserve(values.size());
  for (const auto& [key, value] : values) keys.push_back(key);
  Place place;
  const std::vector<size_t> entries = FindAll(section, keys, &place);
  // Replacing a value keeps every entry's index, so the places found stay good.
  bool plainNewKeys = true;
  for (size_t k = 0; k < values.size(); ++k) {
    if (entries[k] != kNone) {
      ReplaceValue(entries[k], values[k].second);
    } else {
      plainNewKeys = plainNewKeys && IsPlainKey(keys[k]);
    }
  }
  if (!plainNewKeys) {
    // A new name that would read back as something else (a comment, a
    // header, a name with blanks around it) moves where later keys go: Set
    // finds that out key by key.
    for (size_t k = 0; k < values.size(); ++k) {
      if (entries[k] == kNone) Set(section, keys[k], values[k].second);
    }
    return;
  }
  // New keys go one after another after the first block's last entry, where
  // successive Sets put them; a key named twice finds the line added for it.
  std::vector<std::pair<std::string_view, size_t>> added;
  for (size_t k = 0; k < values.size(); ++k) {
    if (entries[k] != kNone) continue;
    auto earlier = std::find_if(added.begin(), added.end(),
                                [&](const auto& line) { return SameName(line.first, keys[k]); });
    if (earlier != added.end()) {
      ReplaceValue(earlier->second, values[k].second);
      continue;
    }
    if (place.sectionEntry == kNone) {
      // Set adds the section at the end; from then on its block is known,
      // unless its header does not read back as this section.
      Set(section, keys[k], values[k].second);
      FindAll(section, {}, &place);
      if (place.sectionEntry == kNone) continue;
    } else {
      InsertLine(NextLine(m_entries[place.lastEntry]), place.lastEntry + 1, KeyLine(keys[k], values[k].second));
      ++place.lastEntry;
    }
    added.emplace_back(keys[k], place.lastEntry);
  }
}

void CIniDocument::ReplaceValue(size_t entry, std::string_view value) {
  const size_t begin = m_entries[entry];
  std::string_view body = Body(begin);
  size_t valueBegin = begin + body.find('=') + 1;
  size_t valueEnd = begin + body.size();
  while (valueBegin < valueEnd && IsBlank(m_text[valueBegin])) ++valueBegin;
  while (valueEnd > valueBegin && IsBlank(m_text[valueEnd - 1])) --valueEnd;
  if (std::string_view(m_text).substr(valueBegin, valueEnd - valueBegin) == value) return;
  CheckSize(m_text.size() + value.size());
  m_text.replace(valueBegin, valueEnd - valueBegin, value);
  Shift(entry + 1, static_cast<int64_t>(value.size()) - static_cast<int64_t>(valueEnd - valueBegin));
  m_changed = true;
}

void CIniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  Place place = Find(section, key);
  if (place.keyEntry != kNone) {
    ReplaceValue(place.keyEntry, value);
    return;
  }
  const std::string entry = KeyLine(key, value);
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
