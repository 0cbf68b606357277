// Text from outside (a file, a device, a server, the profile) made safe to
// show on a terminal.
#include "cli/printable.h"

namespace {

// The UTF-8 of U+202A..U+202E and U+2066..U+2069.
bool ReorderingControl(unsigned char b0, unsigned char b1, unsigned char b2) {
  return b0 == 0xE2 && ((b1 == 0x80 && b2 >= 0xAA && b2 <= 0xAE) || (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9));
}

}  // namespace

bool ReordersText(std::string_view text) {
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    if (ReorderingControl(static_cast<unsigned char>(text[i]), static_cast<unsigned char>(text[i + 1]),
                          static_cast<unsigned char>(text[i + 2]))) {
      return true;
    }
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
  auto at = [&text](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0; };
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = at(i);
    if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F) {
        escape(byte);
      } else {
        shown += text[i];
      }
      continue;
    }
    // A character in UTF-8 is shown as it is ("—" in the link's words holds
    // 0x80 and 0x94); a byte outside one is shown as a number, since a
    // terminal may act on it as a C1 control.
    const size_t length = byte >= 0xC2 && byte <= 0xDF ? 2 : byte >= 0xE0 && byte <= 0xEF ? 3
                                                           : byte >= 0xF0 && byte <= 0xF4 ? 4 : 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range, narrower where it would be overlong
    if (byte == 0xE0) lo = 0xA0;
    if (byte == 0xED) hi = 0x9F;
    if (byte == 0xF0) lo = 0x90;
    if (byte == 0xF4) hi = 0x8F;
    bool whole = length > 0 && at(i + 1) >= lo && at(i + 1) <= hi;
    for (size_t k = 2; whole && k < length; ++k) whole = at(i + k) >= 0x80 && at(i + k) <= 0xBF;
    // A C1 control written in UTF-8: terminals act on it as on the byte.
    const bool control = whole && byte == 0xC2 && at(i + 1) <= 0x9F;
    if (!whole || control) {
      escape(byte);
      if (control) escape(at(++i));
      continue;
    }
    // A control that reorders the text around it (U+202A..U+202E,
    // U+2066..U+2069) would show the words after it backwards: named instead.
    const unsigned char b1 = at(i + 1), b2 = at(i + 2);
    if (ReorderingControl(byte, b1, b2)) {
      const unsigned point = 0x2000u | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
      shown += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) shown += kHex[(point >> shift) & 15];
      i += 2;
      continue;
    }
    shown.append(text.substr(i, length));
    i += length - 1;
  }
  return shown;
}
