// Reading and writing the row file. A pure function of the text: no files, no
// streams, so that it can be fed anything.
#include "cli/row_file.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <tuple>
#include <utility>

#include "cli/printable.h"
#include "cli/line_name.h"
#include "settings/led_settings.h"
#include "settings/port_map.h"
#include "settings/unit_list.h"

namespace {

// The columns, in the order the file is written; a file may hold them in any
// order, by name. The line, the unit and the label column are optional (the
// label only with the unit).
enum Column : size_t { kLine, kUnit, kSequence, kCh1, kLabel = kCh1 + kChannels, kColumnCount };
constexpr std::string_view kColumns[kColumnCount] = {"line", "unit", "sequence", "ch1", "ch2", "ch3", "ch4", "label"};
constexpr bool kOptional[kColumnCount] = {true, true, false, false, false, false, false, true};
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The "# NAME: text" lines that name the installation and who works on it.
struct AboutLine {
  std::string_view prefix;
  std::string RowFile::*field;
};
constexpr AboutLine kAboutLines[] = {
    {"site:", &RowFile::site}, {"company:", &RowFile::company}, {"technician:", &RowFile::technician}};

std::string HeaderText(bool withLine, bool withUnit, bool withLabel = false) {
  std::string text;
  for (size_t i = 0; i < kColumnCount; ++i) {
    if ((i == kLine && !withLine) || (i == kUnit && !withUnit) || (i == kLabel && !withLabel)) continue;
    if (!text.empty()) text += ',';
    text += kColumns[i];
  }
  return text;
}

const std::string& HeaderHelp() {
  static const std::string text = HeaderText(false, true) + " (" + std::string(kColumns[kLine]) + " and " +
                                  std::string(kColumns[kLabel]) + " may be added, " + std::string(kColumns[kUnit]) +
                                  " left out, in any order)";
  return text;
}

std::string_view Trim(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

// Shown in messages: the field as written, cut short if it is long, control
// bytes escaped.
std::string Quoted(std::string_view field) {
  constexpr size_t kLongest = 24;
  size_t cut = std::min(field.size(), kLongest);
  // Cut between two characters, not inside one's UTF-8 bytes.
  while (cut < field.size() && cut > 0 && (static_cast<unsigned char>(field[cut]) & 0xC0) == 0x80) --cut;
  std::string text = Printable(field.substr(0, cut));
  if (field.size() > kLongest) text += "...";
  return "\"" + text + "\"";
}

// One line split into its fields as CSV reads it: a field in double quotes
// may hold commas and '#' ("" for a quote itself); outside quotes a '#' begins
// a comment. Fields outside quotes are trimmed. Keeps the first `most` fields
// and counts them all, so a line of a million commas costs no more than a
// short one. `problem` names a quote not closed before the line ends, or
// text after a closing quote (`"a"x`), which no reading would keep whole.
struct LineFields {
  std::vector<std::string> fields;
  size_t count = 0;   // fields in the line; 0 for a blank or comment line
  std::string comment;  // the text after an unquoted '#'
  std::string problem;
};

void SplitFields(std::string_view line, size_t most, LineFields* out) {
  std::string field;
  bool quoted = false;     // the current field began with a quote
  bool inQuotes = false;
  bool any = false;        // anything but blanks before a comment
  bool content = false;    // anything but blanks and commas
  auto finish = [&]() {
    if (out->fields.size() < most) out->fields.push_back(quoted ? field : std::string(Trim(field)));
    ++out->count;
    field.clear();
    quoted = false;
  };
  size_t i = 0;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (inQuotes) {
      if (c != '"') {
        if (out->fields.size() < most) field += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        if (out->fields.size() < most) field += '"';
        ++i;
      } else {
        inQuotes = false;
      }
      continue;
    }
    if (c == '#') break;
    if (c == ',') {
      any = true;
      finish();
    } else if (c == '"' && Trim(field).empty() && !quoted) {
      any = content = inQuotes = quoted = true;
      field.clear();
    } else if (quoted && (c == ' ' || c == '\t')) {
      continue;  // blanks after a closing quote, before the comma
    } else if (quoted) {
      out->problem = "text follows a closing quote before the comma: " + Quoted(line.substr(i));
      return;
    } else {
      if (c != ' ' && c != '\t') any = content = true;
      if (out->fields.size() < most) field += c;
    }
  }
  if (i < line.size()) out->comment = std::string(Trim(line.substr(i + 1)));
  if (inQuotes) {
    out->problem = "a quote is not closed before the end of the line";
    return;
  }
  if (any) finish();
  // Only commas (a spreadsheet's formatted rows below the data): a blank line.
  if (!content) {
    out->fields.clear();
    out->count = 0;
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

// A line as a row names it: "Com N" in its one spelling, or a path as written.
bool ReadLineName(std::string_view field, std::string* name, std::string* problem) {
  const std::string text(field);
  if (const int entry = ComEntryNumber(text)) {
    *name = ComEntryName(entry);
    return true;
  }
  if (!IsLineName(text)) {
    *problem = "line: " + Quoted(field) + " is neither \"" + ComEntryName(1) + "\"..\"" + ComEntryName(kComEntries) +
               "\" nor a device path";
    return false;
  }
  *name = text;
  return true;
}

// Why `text` (a label, a site's name) is no text a person can read as
// written; empty when it is.
std::string UnreadableText(const std::string& text) {
  if (ReordersText(text)) {
    return Quoted(text) +
           " holds a control that reorders the text around it (U+061C, U+200E, U+200F, U+202A-U+202E, U+2028, "
           "U+2029, U+2066-U+2069)";
  }
  if (Printable(text) != text) {
    return Quoted(text) + " is not UTF-8 text (it holds control bytes or bytes outside UTF-8)";
  }
  return "";
}

// A unit's label: text a person can read, in UTF-8, without control bytes.
bool ReadLabel(const std::string& field, std::string* label, std::string* problem) {
  if (const std::string why = UnreadableText(field); !why.empty()) {
    *problem = "label: " + why;
    return false;
  }
  if (field.size() > kLongestLabel) {
    *problem = "label: " + Quoted(field) + " is longer than " + std::to_string(kLongestLabel) + " bytes";
    return false;
  }
  *label = field;
  return true;
}

// A text as a CSV field: in quotes when it would otherwise read differently
// (a label, or a device path with a comma in it).
std::string CsvField(const std::string& text) {
  const bool plain = text.find_first_of(",\"#") == std::string::npos && Trim(text) == text;
  if (plain) return text;
  std::string field = "\"";
  for (const char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
  return field + '"';
}

// The next line of `text` from `*begin`, ended by LF, CR LF or CR alone.
std::string_view NextLine(std::string_view text, size_t* begin) {
  const size_t start = *begin;
  size_t end = text.find_first_of("\r\n", start);
  if (end == std::string_view::npos) end = text.size();
  *begin = end + 1;
  if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++*begin;
  return text.substr(start, end - start);
}

class ProblemList {
 public:
  explicit ProblemList(RowFile* file) : m_file(file) {}
  void Add(int line, std::string what) {
    if (m_file->problems.size() < kListedProblems) {
      m_file->problems.push_back({line, std::move(what)});
    } else {
      ++m_file->unlistedProblems;
    }
  }
  bool Any() const { return !m_file->problems.empty(); }

 private:
  RowFile* m_file;
};

// Where each column is in the file's lines: its field's index, or -1.
struct Header {
  std::array<int, kColumnCount> at{};
  size_t count = 0;  // fields in a row
  std::string text;  // the column names in the file's order
  int Of(Column column) const { return at[column]; }
};

// Reads the header from `fields` (of `count` in all), its columns by name in
// any order. False with *problem naming what is wrong: a field that is no
// column, a column named twice, one that is missing.
bool ReadHeader(const std::vector<std::string>& fields, size_t count, Header* header, RowFile* file,
                std::string* problem) {
  header->at.fill(-1);
  header->count = count;
  std::vector<std::string> unknown, twice;
  size_t known = 0;
  for (size_t f = 0; f < fields.size(); ++f) {
    const auto column = std::find_if(std::begin(kColumns), std::end(kColumns),
                                     [&](std::string_view name) { return SameWord(fields[f], name); });
    header->text += (f == 0 ? "" : ",") + fields[f];
    if (column == std::end(kColumns)) {
      unknown.push_back(Quoted(fields[f]));
      continue;
    }
    ++known;
    int& at = header->at[static_cast<size_t>(column - std::begin(kColumns))];
    if (at >= 0) {
      twice.emplace_back(*column);
    } else {
      at = static_cast<int>(f);
    }
  }
  // Nothing of a header (a row of numbers, semicolons for commas): what one
  // looks like says more than a list of what it lacks.
  if (known == 0) {
    *problem = "the first line must be the header " + HeaderHelp();
    return false;
  }
  if (count > fields.size()) {
    *problem = "the header has " + std::to_string(count) + " fields, more than there are columns (" + HeaderHelp() + ")";
    return false;
  }
  std::vector<std::string> missing;
  for (size_t c = 0; c < kColumnCount; ++c) {
    if (header->at[c] < 0 && !kOptional[c]) missing.emplace_back(kColumns[c]);
  }
  auto list = [](const std::vector<std::string>& names, const char* one, const char* several) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text + (names.size() == 1 ? one : several);
  };
  std::vector<std::string> faults;
  if (!unknown.empty()) faults.push_back(list(unknown, " is no column", " are no columns"));
  if (!twice.empty()) faults.push_back(list(twice, " is named twice", " are named twice"));
  if (!missing.empty()) faults.push_back(list(missing, " is missing", " are missing"));
  if (header->Of(kLabel) >= 0 && header->Of(kUnit) < 0) faults.emplace_back("a label column needs the unit column");
  if (!faults.empty()) {
    *problem = faults[0];
    for (size_t i = 1; i < faults.size(); ++i) *problem += ", " + faults[i];
    *problem += "; the header is " + HeaderHelp();
    return false;
  }
  file->hasLineColumn = header->Of(kLine) >= 0;
  file->hasUnitColumn = header->Of(kUnit) >= 0;
  file->hasLabelColumn = header->Of(kLabel) >= 0;
  return true;
}

// The line's index in file->lineNames, which takes a name not seen before
// (up to kMostLines); false with *problem otherwise.
bool ReadLineColumn(std::string_view field, RowFile* file, int* index, std::string* problem) {
  std::string name;
  if (!ReadLineName(field, &name, problem)) return false;
  const auto known = std::find(file->lineNames.begin(), file->lineNames.end(), name);
  if (known != file->lineNames.end()) {
    *index = static_cast<int>(known - file->lineNames.begin());
    return true;
  }
  if (file->lineNames.size() >= kMostLines) {
    *problem = "more than " + std::to_string(kMostLines) + " lines in one file";
    return false;
  }
  *index = static_cast<int>(file->lineNames.size());
  file->lineNames.push_back(name);
  return true;
}

// The row of a line with as many fields as the header has columns; false
// with *problem for the first field that is wrong.
bool ReadRow(const std::vector<std::string>& fields, const Header& header, RowFile* file, FileRow* row,
             std::string* problem) {
  auto field = [&](Column column) -> const std::string& { return fields[static_cast<size_t>(header.Of(column))]; };
  int32_t number = 0;
  if (file->hasLineColumn && !ReadLineColumn(field(kLine), file, &row->lineName, problem)) return false;
  if (file->hasUnitColumn) {
    if (!ReadField(field(kUnit), kColumns[kUnit], 0, kUnitAddresses - 1, &number, problem)) return false;
    row->unit = number;
  }
  if (!ReadField(field(kSequence), kColumns[kSequence], 1, kSequenceRows, &number, problem)) return false;
  row->sequence = number;
  for (size_t c = 0; c < kChannels; ++c) {
    const auto column = static_cast<Column>(kCh1 + c);
    if (!ReadField(field(column), kColumns[column], 0, 255, &row->channels[c], problem)) return false;
  }
  return !file->hasLabelColumn || ReadLabel(field(kLabel), &row->label, problem);
}

}  // namespace

RowFile ReadRowFile(std::string_view text) {
  RowFile file;
  ProblemList problems(&file);
  if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());

  bool headerSeen = false;
  Header header;
  std::map<std::tuple<int, int, int>, int> firstLineOf;  // (line name, unit, sequence) -> line
  std::map<std::pair<int, int>, std::pair<std::string, int>> labelOf;  // (line name, unit) -> (label, line)
  int lineNumber = 0;
  size_t begin = 0;
  while (begin < text.size()) {
    std::string_view line = NextLine(text, &begin);
    ++lineNumber;
    LineFields split;
    SplitFields(line, kColumnCount + 1, &split);
    if (!split.problem.empty()) {
      problems.Add(lineNumber, split.problem);
      continue;
    }
    if (split.count == 0) {
      for (const AboutLine& about : kAboutLines) {
        std::string& text = file.*about.field;
        if (!text.empty() || split.comment.substr(0, about.prefix.size()) != about.prefix) continue;
        text = std::string(Trim(std::string_view(split.comment).substr(about.prefix.size())));
        if (const std::string why = UnreadableText(text); !why.empty()) {
          problems.Add(lineNumber, std::string(about.prefix) + " " + why);
        }
      }
      continue;
    }
    const std::vector<std::string>& fields = split.fields;
    const size_t count = split.count;
    if (!headerSeen) {
      std::string problem;
      if (!ReadHeader(fields, count, &header, &file, &problem)) {
        problems.Add(lineNumber, problem);
        // Without a header the columns mean nothing; the rest cannot be checked.
        return file;
      }
      headerSeen = true;
      continue;
    }

    if (count != header.count) {
      const char* which = count < header.count ? "a missing column" : "an extra column";
      problems.Add(lineNumber, std::string(which) + ": " + std::to_string(count) + " values where the header has " +
                                   std::to_string(header.count) + " (" + Printable(header.text) + ")");
      continue;
    }

    FileRow row;
    row.line = lineNumber;
    std::string problem;
    if (!ReadRow(fields, header, &file, &row, &problem)) {
      problems.Add(lineNumber, problem);
      continue;
    }
    if (file.hasLabelColumn) {
      const auto [first, isNewUnit] =
          labelOf.emplace(std::make_pair(row.lineName, row.unit), std::make_pair(row.label, lineNumber));
      if (!isNewUnit && first->second.first != row.label) {
        std::string which = "unit " + std::to_string(row.unit);
        if (file.hasLineColumn) which = Printable(file.lineNames[row.lineName]) + ", " + which;
        problems.Add(lineNumber, which + " is labelled " + Quoted(row.label) + " here but " +
                                     Quoted(first->second.first) + " on line " + std::to_string(first->second.second) +
                                     "; every row of a unit carries its one label");
        continue;
      }
    }

    const auto [place, isNew] = firstLineOf.emplace(std::make_tuple(row.lineName, row.unit, row.sequence), lineNumber);
    if (!isNew) {
      std::string which = "sequence " + std::to_string(row.sequence);
      if (file.hasUnitColumn) which = "unit " + std::to_string(row.unit) + ", " + which;
      if (file.hasLineColumn) which = Printable(file.lineNames[row.lineName]) + ", " + which;
      problems.Add(lineNumber, which + " is given twice (first on line " + std::to_string(place->second) + ")");
      continue;
    }
    // A sound file holds at most one row per line, unit and sequence, so
    // rows never outgrow kMostLines x 8 x 8 however long the text.
    if (!problems.Any()) file.rows.push_back(row);
  }

  if (!headerSeen) {
    problems.Add(0, "no header line " + HeaderHelp());
  } else if (!problems.Any() && file.rows.empty()) {
    problems.Add(0, "holds no rows");
  }
  if (problems.Any()) file.rows.clear();
  return file;
}

std::string RowFileText(const std::vector<FileRow>& rows, bool withUnitColumn,
                        const std::vector<std::string>* lineNames) {
  const bool withLabel =
      withUnitColumn && std::any_of(rows.begin(), rows.end(), [](const FileRow& row) { return !row.label.empty(); });
  std::string text = HeaderText(lineNames != nullptr, withUnitColumn, withLabel) + '\n';
  for (const FileRow& row : rows) {
    if (lineNames) text += CsvField((*lineNames)[row.lineName]) + ',';
    if (withUnitColumn) text += std::to_string(row.unit) + ',';
    text += std::to_string(row.sequence);
    for (int32_t value : row.channels) text += ',' + std::to_string(value);
    if (withLabel) text += ',' + CsvField(row.label);
    text += '\n';
  }
  return text;
}
