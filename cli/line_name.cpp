// Reading line names.
#include "cli/line_name.h"

#include <algorithm>
#include <charconv>

#include "settings/port_map.h"

int ComEntryNumber(const std::string& text) {
  if (text.size() < 4 || text.size() > 5) return 0;
  std::string word = text.substr(0, 3);
  std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
  if (word != "com") return 0;
  std::string rest = text.substr(3);
  if (rest.size() == 2) {
    if (rest[0] != ' ') return 0;
    rest.erase(0, 1);
  }
  int number = 0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
  if (rest.empty() || ec != std::errc() || end != rest.data() + rest.size()) return 0;
  return number >= 1 && number <= kComEntries ? number : 0;
}

bool IsLineName(const std::string& text) { return ComEntryNumber(text) != 0 || text.find('/') != std::string::npos; }
