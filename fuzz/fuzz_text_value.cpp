// Fuzzes IntegerValueOfText, the reader of the window's edit texts, against two
// independent readings of the same text: a decimal-string comparison with the
// 32-bit limits, and the C library's strtoll clamped to 32 bits. All three must
// agree on every input; the written form of any 32-bit value must read back.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "app/text_value.h"

namespace {

// Leading white space, a sign, the digits that follow; the magnitude is
// compared as a digit string, so no arithmetic can overflow.
int32_t ByDigitString(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  while (i < text.size() && text[i] == '0') ++i;
  size_t end = i;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  std::string_view digits = text.substr(i, end - i);

  const std::string_view limit = negative ? "2147483648" : "2147483647";
  if (digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit)) {
    return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
  }
  int64_t magnitude = 0;
  for (char c : digits) magnitude = magnitude * 10 + (c - '0');
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

// strtoll saturates at the 64-bit ends, which lie beyond the 32-bit ones. It
// would take "0x" and the like only with base 0, so base 10 reads the same
// grammar; it stops at the first NUL, where the reader under test stops too.
int32_t ByStrtoll(std::string_view text) {
  std::string copy(text);
  errno = 0;
  long long value = std::strtoll(copy.c_str(), nullptr, 10);
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

[[noreturn]] void Fail(const char* what, std::string_view text, int32_t got, int32_t want) {
  std::fprintf(stderr, "%s: text of %zu bytes read as %d, expected %d\n", what, text.size(),
               static_cast<int>(got), static_cast<int>(want));
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int32_t got = IntegerValueOfText(text);
  const int32_t byDigits = ByDigitString(text);
  if (got != byDigits) Fail("digit-string reading", text, got, byDigits);
  const int32_t byLibrary = ByStrtoll(text);
  if (got != byLibrary) Fail("strtoll reading", text, got, byLibrary);

  // Any 32-bit value, as the window writes it back into an edit, reads back.
  if (size >= 4) {
    int32_t value;
    std::memcpy(&value, data, sizeof value);
    const std::string written = " \t" + std::to_string(value) + "x";
    const int32_t back = IntegerValueOfText(written);
    if (back != value) Fail("written value", written, back, value);
  }
  return 0;
}
