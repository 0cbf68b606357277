// Reading UTF-8 one character at a time.
#include "settings/utf8_text.h"

size_t Utf8CharacterAt(std::string_view text, size_t at, char32_t* point) {
  auto byte = [&text](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0; };
  if (at >= text.size()) return 0;
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    *point = lead;
    return 1;
  }
  const size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                         : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  // The second byte's range, narrower where the sequence would be overlong,
  // a surrogate or past U+10FFFF.
  unsigned char lo = 0x80, hi = 0xBF;
  if (lead == 0xE0) lo = 0xA0;
  if (lead == 0xED) hi = 0x9F;
  if (lead == 0xF0) lo = 0x90;
  if (lead == 0xF4) hi = 0x8F;
  bool whole = length > 0 && byte(at + 1) >= lo && byte(at + 1) <= hi;
  for (size_t k = 2; whole && k < length; ++k) whole = byte(at + k) >= 0x80 && byte(at + k) <= 0xBF;
  if (!whole) return 0;
  *point = lead & (0x7Fu >> length);
  for (size_t k = 1; k < length; ++k) *point = (*point << 6) | (byte(at + k) & 0x3Fu);
  return length;
}
