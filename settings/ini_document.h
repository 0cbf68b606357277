// An INI text held line by line, so that a program can read and set its own
// keys and write the text back with everything else untouched: other sections,
// unknown keys, comments, blank lines, stray bytes and each line's own end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Lines are "[section]", "key=value", comments starting with ';' or '#', and
// anything else, which is kept but means nothing. Section and key names are
// trimmed of blanks and compared without regard to ASCII case; a backslash is
// an ordinary character of a name. When a name occurs more than once, the
// first occurrence counts.
class CIniDocument {
 public:
  // Takes any bytes; nothing is rejected. Text() of an unchanged document
  // returns exactly `text`.
  explicit CIniDocument(std::string_view text);

  // The value of `key` in `section`, trimmed of blanks; nothing when absent.
  // The view lives until the document is next changed.
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;

  // Replaces the value of an existing key in place (its blanks and line end
  // stay); otherwise adds "key=value" after the last entry of the section, or
  // adds the section at the end of the text. New lines take the line end that
  // most lines of the text already use.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole text, byte for byte as read apart from the keys that were set.
  std::string Text() const;

 private:
  enum class Kind { kOther, kSection, kKey };
  struct Line {
    std::string body;  // the line without its end
    std::string end;   // "\n", "\r\n", "\r" or "" (the last line of a text)
    Kind kind = Kind::kOther;
    std::string name;  // section or key name, trimmed
    size_t valueBegin = 0;  // the trimmed value within body, for a key line
    size_t valueEnd = 0;
  };
  struct Place {
    size_t keyLine;      // the key's line, or npos
    size_t sectionLine;  // the section's header, or npos
    size_t lastEntry;    // the section's last line that is neither blank nor a comment
  };

  static Line ParseLine(std::string body, std::string end);
  Place Find(std::string_view section, std::string_view key) const;
  void Insert(size_t at, std::string body);

  std::vector<Line> m_lines;
  std::string m_newline = "\n";
};
