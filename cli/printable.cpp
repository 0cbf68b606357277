// Text from outside (a file, a device, a server, the profile) made safe to
// show on a terminal.
#include "cli/printable.h"

#include "settings/utf8_text.h"

namespace {

// The controls and marks that reorder the text around them, or break it
// where no line break was written: "Bar\u200f 3, 4" shows as "Bar4 ,3".
// The joiners (U+200C, U+200D) only join letters and stay allowed.
struct PointRange {
  char32_t first;
  char32_t last;
};
constexpr PointRange kReorderingPoints[] = {
    {0x061C, 0x061C},  // Arabic letter mark
    {0x200E, 0x200F},  // left-to-right and right-to-left marks
    {0x2028, 0x2029},  // line and paragraph separators
    {0x202A, 0x202E},  // embeddings and overrides
    {0x2066, 0x2069},  // isolates
};

bool ReorderingPoint(char32_t point) {
  for (const PointRange& range : kReorderingPoints) {
    if (point >= range.first && point <= range.last) return true;
  }
  return false;
}

}  // namespace

bool ReordersText(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    char32_t point = 0;
    const size_t length = Utf8CharacterAt(text, i, &point);
    if (length > 0 && ReorderingPoint(point)) return true;
    i += length > 0 ? length : 1;
  }
  return false;
}

std::string Printable(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(text.size());
  auto escape = [&shown](unsigned char byte) {
    shown += "\\x";
    shown += kHex[byte >> 4];
    shown += kHex[byte & 15];
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t point = 0;
    // A character in UTF-8 is shown as it is ("—" in the link's words holds
    // 0x80 and 0x94); a byte outside one is shown as a number, since a
    // terminal may act on it as a C1 control.
    const size_t length = Utf8CharacterAt(text, i, &point);
    // Control bytes, and C1 controls written in UTF-8: terminals act on them.
    if (length == 0 || point < 0x20 || point == 0x7F || (point >= 0x80 && point <= 0x9F)) {
      const size_t bytes = length == 0 ? 1 : length;
      for (size_t k = 0; k < bytes; ++k) escape(static_cast<unsigned char>(text[i + k]));
      i += bytes - 1;
      continue;
    }
    // A control that reorders the text around it would show the words after
    // it backwards: named instead.
    if (ReorderingPoint(point)) {
      shown += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) shown += kHex[(point >> shift) & 15];
    } else {
      shown.append(text.substr(i, length));
    }
    i += length - 1;
  }
  return shown;
}
