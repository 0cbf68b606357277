// Reading line names.
#include "cli/line_name.h"

#include <cctype>
#include <charconv>
#include <string_view>

#include "settings/port_map.h"

int ComEntryNumber(const std::string& text) {
  constexpr std::string_view kWord = "com";
  if (text.size() <= kWord.size()) return 0;
  for (size_t i = 0; i < kWord.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != kWord[i]) return 0;
  }
  size_t at = kWord.size();
  if (text[at] == ' ') ++at;
  int number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data() + at, end, number);
  if (at == text.size() || text[at] == '+' || text[at] == '-' || ec != std::errc() || stop != end) return 0;
  return number >= 1 && number <= kComEntries ? number : 0;
}

bool IsLineName(const std::string& text) {
  return ComEntryNumber(text) != 0 || text.find('/') != std::string::npos || IsWholeDeviceName(text);
}
