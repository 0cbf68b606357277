// An INI text kept as the bytes read, so that a program can read and set its
// own keys and write the text back with everything else untouched: other
// sections, unknown keys, comments, blank lines, stray bytes, a UTF-8 byte
// order mark and each line's own end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Lines are "[section]", "key=value", comments starting with ';' or '#', and
// anything else, which is kept but means nothing. A line ends in "\r\n", "\n"
// or a "\r" alone; a byte order mark at the very start belongs to no line.
// Section and key names are trimmed of blanks and compared without regard to
// ASCII case; a backslash is an ordinary character of a name. When a name
// occurs more than once, the first occurrence counts.
//
// Memory: the text itself plus four bytes for each line that is neither blank
// nor a comment (eight for a section header), so a text of many blank lines
// costs little more than its size.
class CIniDocument {
 public:
  // Takes any bytes up to 4 GiB (std::length_error beyond); nothing is
  // rejected. Text() of an unchanged document returns exactly `text`.
  explicit CIniDocument(std::string text);

  // The value of `key` in `section`, trimmed of blanks; nothing when absent.
  // The view lives until the document is next changed.
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;

  // Replaces the value of an existing key in place (its blanks and line end
  // stay); otherwise adds "key=value" after the last entry of the section, or
  // adds the section at the end of the text. New lines take the line end that
  // most lines of the text already use.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // Several keys of one section at once, found in one pass over it: the
  // values as Value gives them, in the order of `keys`; and the keys set as
  // Set would set them one after another.
  std::vector<std::optional<std::string_view>> Values(std::string_view section,
                                                      std::span<const std::string_view> keys) const;
  void SetAll(std::string_view section, const std::vector<std::pair<std::string_view, std::string>>& values);

  // True once a Set has changed a byte of the text.
  bool Changed() const { return m_changed; }

  // The whole text, byte for byte as read apart from the keys that were set.
  std::string Text() const { return m_text; }
  // The same without a copy; valid until the document is next changed.
  std::string_view TextView() const { return m_text; }

 private:
  struct Place {
    size_t keyEntry;      // index into m_entries of the key's line, or npos
    size_t sectionEntry;  // the section's header, or npos
    size_t lastEntry;     // the section's last line that is neither blank nor a comment
  };

  size_t LineEnd(size_t begin) const;       // offset of the line's end bytes
  size_t NextLine(size_t begin) const;      // offset just past the line's end bytes
  std::string_view Body(size_t begin) const;  // the line without its end
  // The trimmed name of the key on the entry line at `begin`; nothing when
  // the line holds no key.
  std::optional<std::string_view> KeyName(size_t begin) const;
  Place Find(std::string_view section, std::string_view key) const;
  // The entry of each of `keys` in `section`, npos for those absent; and
  // where the section's first block lies, as Find gives it for a missing key.
  std::vector<size_t> FindAll(std::string_view section, std::span<const std::string_view> keys,
                              Place* firstBlock) const;
  std::string_view ValueAt(size_t entry) const;
  void ReplaceValue(size_t entry, std::string_view value);
  // Puts `line` plus a line end in at `at` (the start of a line, or the end
  // of the text) and records it as an entry at index `entry` when it is one.
  void InsertLine(size_t at, size_t entry, std::string_view line);
  void Shift(size_t firstEntry, int64_t delta);

  std::string m_text;
  size_t m_bodyStart = 0;  // past the byte order mark, if there is one
  // Start offsets of the lines that are neither blank nor comments, in order.
  std::vector<uint32_t> m_entries;
  // Indices into m_entries of the section headers, in order: a lookup visits
  // only the blocks of its own section.
  std::vector<uint32_t> m_sections;
  std::string m_newline = "\n";
  bool m_changed = false;
};
