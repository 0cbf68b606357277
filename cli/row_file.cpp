// Reading and writing the row file. A pure function of the text: no files, no
// streams, so that it can be fed anything.
#include "cli/row_file.h"

#include <charconv>
#include <map>
#include <utility>

namespace {

constexpr std::string_view kUnitHeader[] = {"unit", "sequence", "ch1", "ch2", "ch3", "ch4"};
constexpr std::string_view kHeaderWithUnit = "unit,sequence,ch1,ch2,ch3,ch4";
constexpr std::string_view kHeaderWithoutUnit = "sequence,ch1,ch2,ch3,ch4";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t begin = 0;
  for (;;) {
    const size_t comma = line.find(',', begin);
    fields.push_back(Trim(line.substr(begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin)));
    if (comma == std::string_view::npos) return fields;
    begin = comma + 1;
  }
}

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

// True when `fields` name the columns `names` in order.
bool IsHeader(const std::vector<std::string_view>& fields, const std::string_view* names, size_t count) {
  if (fields.size() != count) return false;
  for (size_t i = 0; i < count; ++i) {
    if (!SameWord(fields[i], names[i])) return false;
  }
  return true;
}

// Shown in messages: the field as written, cut short if it is long.
std::string Quoted(std::string_view field) {
  constexpr size_t kLongest = 24;
  std::string text(field.substr(0, kLongest));
  if (field.size() > kLongest) text += "...";
  return "\"" + text + "\"";
}

// A whole decimal number within [lo, hi]; otherwise says what is wrong.
bool ReadField(std::string_view field, std::string_view column, int lo, int hi, int32_t* value,
               std::string* problem) {
  if (field.empty()) {
    *problem = std::string(column) + " is empty";
    return false;
  }
  const bool negative = field[0] == '-';
  const std::string_view digits = negative ? field.substr(1) : field;
  const bool allDigits = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
  if (!allDigits) {
    *problem = std::string(column) + ": " + Quoted(field) + " is not a number";
    return false;
  }
  int64_t number = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  const std::string range = std::to_string(lo) + "-" + std::to_string(hi);
  if (ec != std::errc() || end != digits.data() + digits.size() || negative || number > hi || number < lo) {
    const bool shortEnough = ec == std::errc() && digits.size() <= 12;
    *problem = std::string(column) + ": " + (shortEnough ? std::string(field) : Quoted(field)) +
               " is outside " + range;
    return false;
  }
  *value = static_cast<int32_t>(number);
  return true;
}

}  // namespace

RowFile ReadRowFile(std::string_view text) {
  RowFile file;
  if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());

  bool headerSeen = false;
  std::map<std::pair<int, int>, int> firstLineOf;  // (unit, sequence) -> line
  int lineNumber = 0;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    begin = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);
    if (Trim(line).empty()) continue;

    const std::vector<std::string_view> fields = Fields(line);
    if (!headerSeen) {
      if (IsHeader(fields, kUnitHeader, 6)) {
        file.hasUnitColumn = true;
      } else if (!IsHeader(fields, kUnitHeader + 1, 5)) {
        file.problems.push_back({lineNumber, "the first line must be the header " + std::string(kHeaderWithUnit) +
                                                 " (or " + std::string(kHeaderWithoutUnit) + ")"});
        // Without a header the columns mean nothing; the rest cannot be checked.
        return file;
      }
      headerSeen = true;
      continue;
    }

    const size_t columns = file.hasUnitColumn ? 6 : 5;
    if (fields.size() != columns) {
      const char* which = fields.size() < columns ? "a missing column" : "an extra column";
      file.problems.push_back({lineNumber, std::string(which) + ": " + std::to_string(fields.size()) +
                                               " values where the header has " + std::to_string(columns) + " (" +
                                               std::string(file.hasUnitColumn ? kHeaderWithUnit : kHeaderWithoutUnit) +
                                               ")"});
      continue;
    }

    FileRow row;
    row.line = lineNumber;
    std::string problem;
    size_t at = 0;
    int32_t number = 0;
    bool sound = true;
    if (file.hasUnitColumn) {
      sound = ReadField(fields[at++], "unit", 0, 7, &number, &problem);
      row.unit = number;
    }
    if (sound) sound = ReadField(fields[at++], "sequence", 1, 8, &number, &problem);
    row.sequence = number;
    static constexpr std::string_view kChannelNames[] = {"ch1", "ch2", "ch3", "ch4"};
    for (int c = 0; sound && c < 4; ++c) {
      sound = ReadField(fields[at++], kChannelNames[c], 0, 255, &row.channels[c], &problem);
    }
    if (!sound) {
      file.problems.push_back({lineNumber, problem});
      continue;
    }

    const auto [place, isNew] = firstLineOf.emplace(std::make_pair(row.unit, row.sequence), lineNumber);
    if (!isNew) {
      std::string which = "sequence " + std::to_string(row.sequence);
      if (file.hasUnitColumn) which = "unit " + std::to_string(row.unit) + ", " + which;
      file.problems.push_back({lineNumber, which + " is given twice (first on line " +
                                               std::to_string(place->second) + ")"});
      continue;
    }
    file.rows.push_back(row);
  }

  if (!headerSeen) {
    file.problems.push_back({0, "no header line " + std::string(kHeaderWithUnit) + " (or " +
                                    std::string(kHeaderWithoutUnit) + ")"});
  } else if (file.problems.empty() && file.rows.empty()) {
    file.problems.push_back({0, "holds no rows"});
  }
  if (!file.problems.empty()) file.rows.clear();
  return file;
}

std::string RowFileText(const std::vector<FileRow>& rows, bool withUnitColumn) {
  std::string text(withUnitColumn ? kHeaderWithUnit : kHeaderWithoutUnit);
  text += '\n';
  for (const FileRow& row : rows) {
    if (withUnitColumn) text += std::to_string(row.unit) + ',';
    text += std::to_string(row.sequence);
    for (int32_t value : row.channels) text += ',' + std::to_string(value);
    text += '\n';
  }
  return text;
}
