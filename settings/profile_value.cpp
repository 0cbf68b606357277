// Whole numbers as people write them.
#include "settings/profile_value.h"

#include <charconv>
#include <limits>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // from_chars would accept its own sign and stop at the first non-digit, so
  // the digits are checked here and the whole rest must be consumed.
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }

  // Parsed as a magnitude in 64 bits so that -2147483648 needs no case of its own.
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;

  const uint64_t limit = negative ? uint64_t{1} << 31 : uint64_t{std::numeric_limits<int32_t>::max()};
  if (magnitude > limit) return std::nullopt;
  const int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return static_cast<int32_t>(value);
}

std::optional<int32_t> ParseProfileInt(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return ParseWholeNumber(text);
}

std::string FormatProfileInt(int32_t value) { return std::to_string(value); }
