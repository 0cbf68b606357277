// Reading and writing unit address lists.
#include "settings/unit_list.h"

#include <algorithm>

#include "settings/profile_value.h"

bool ParseNumberIn(std::string_view text, int lo, int hi, int* value) {
  const std::optional<int32_t> number = ParseWholeNumber(text);
  if (!number || *number < lo || *number > hi) return false;
  *value = *number;
  return true;
}

namespace {

bool ParseAddress(const std::string& text, int* value) { return ParseNumberIn(text, 0, kUnitAddresses - 1, value); }

}  // namespace

bool ParseUnitList(const std::string& text, std::vector<int>* units, std::string* error) {
  std::vector<int> found;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(begin, end - begin);
    const size_t dash = item.find('-');
    int first = 0, last = 0;
    const bool ok = dash == std::string::npos
                        ? ParseAddress(item, &first) && ParseAddress(item, &last)
                        : ParseAddress(item.substr(0, dash), &first) &&
                              ParseAddress(item.substr(dash + 1), &last) && first <= last;
    if (!ok) {
      if (error) *error = "bad unit list \"" + text + "\": \"" + item + "\" is not an address 0-7 or a range like 2-5";
      return false;
    }
    for (int unit = first; unit <= last; ++unit) {
      if (std::find(found.begin(), found.end(), unit) != found.end()) {
        if (error) *error = "bad unit list \"" + text + "\": unit " + std::to_string(unit) + " named twice";
        return false;
      }
      found.push_back(unit);
    }
    begin = end + 1;
  }
  std::sort(found.begin(), found.end());
  *units = std::move(found);
  return true;
}

std::string UnitListText(const std::vector<int>& units) {
  std::string text;
  for (size_t i = 0; i < units.size();) {
    size_t j = i;
    while (j + 1 < units.size() && units[j + 1] == units[j] + 1) ++j;
    if (!text.empty()) text += ',';
    text += std::to_string(units[i]);
    if (j > i) text += '-' + std::to_string(units[j]);
    i = j + 1;
  }
  return text;
}
