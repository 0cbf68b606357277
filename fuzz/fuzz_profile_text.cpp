// Fuzzes the profile's text with arbitrary bytes, all in memory: the same
// reading and writing of the settings keys that the profile store runs on the
// file, without the file, so that millions of inputs fit in a short run.
// - an unchanged document writes back exactly the bytes it read;
// - the document's values and the value parser agree with an oracle written
//   from the format's rules (OracleProfile, OracleInt), and every written
//   value reads back;
// - loading fills the record with what the section holds (defaults for the
//   rest), changes those keys and nothing else that can be read, keeps every
//   other line in order, and the result writes back its own bytes;
// - saving writes every key, keeps every other value, and loading the saved
//   text gives the record back and changes nothing.
// fuzz_profile_reader does the same cycles through real files.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_document.h"
#include "settings/led_settings.h"
#include "settings/profile_keys.h"
#include "settings/profile_text.h"
#include "settings/profile_value.h"

namespace {

const std::string kSection = ProfileSection("LED");

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "profile reader invariant broken: %s\n", what.c_str());
  std::abort();
}

// The message is put together only when the check fails: built for every
// check of every run, it cost more than the checks.
template <typename... Parts>
void Check(bool ok, const Parts&... parts) {
  if (ok) return;
  std::string what;
  (what.append(parts), ...);
  Fail(what);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The oracle: the profile format's rules read again, apart from the code
// under test and by another road. CIniDocument indexes lines and finds a key
// on demand by hashes and blocks; this reads the whole text once, line by
// line, into a dictionary where the first entry of a name stays. Its rules:
// - a byte order mark at the very start belongs to no line; a line ends in
//   "\r\n", "\n" or a lone "\r";
// - blanks are spaces and tabs; names and values are read without the blanks
//   around them, names without regard to ASCII case;
// - a line whose first non-blank is '[' and that holds a ']' starts a section
//   named by what lies between that '[' and the first ']';
// - a line whose first non-blank is ';' or '#' is a comment;
// - any other line holding '=' is a key (before the first '=') and its value
//   (after it); a key before the first section belongs to none;
// - a section may come back later: its keys are one set, the first wins.
class OracleProfile {
 public:
  explicit OracleProfile(std::string_view text) {
    size_t at = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    bool inSection = false;
    std::string section;
    while (at < text.size()) {
      std::string line;
      while (at < text.size() && text[at] != '\n' && text[at] != '\r') line += text[at++];
      if (at < text.size()) at += text.compare(at, 2, "\r\n") == 0 ? 2 : 1;
      const std::string content = Stripped(line);
      if (content.empty() || content[0] == ';' || content[0] == '#') continue;
      if (content[0] == '[') {
        const size_t close = content.find(']');
        if (close != std::string::npos) {
          inSection = true;
          section = Folded(Stripped(content.substr(1, close - 1)));
        }
        continue;  // without its ']' neither a section nor a key
      }
      const size_t equals = line.find('=');
      if (!inSection || equals == std::string::npos) continue;
      m_values.emplace(Folded(section) + '\n' + Folded(Stripped(line.substr(0, equals))),
                       Stripped(line.substr(equals + 1)));
    }
  }

  std::optional<std::string> Value(const std::string& section, const std::string& key) const {
    const auto found = m_values.find(Folded(section) + '\n' + Folded(key));
    if (found == m_values.end()) return std::nullopt;
    return found->second;
  }

 private:
  static std::string Stripped(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
  }
  static std::string Folded(std::string text) {
    for (char& c : text) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
  }

  std::map<std::string, std::string> m_values;  // "section\nkey", folded, to the first value
};

// The oracle of a value: a whole number is the text the profile writes for
// it (std::to_string), give or take blanks around it, a '+' and leading
// zeros. So the text is brought to that form and converted by the standard
// library, and the number must write back as that very form.
std::optional<int32_t> OracleInt(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  std::string sign;
  if (text[0] == '+' || text[0] == '-') {
    if (text[0] == '-') sign = "-";
    text.remove_prefix(1);
  }
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  const size_t nonZero = text.find_first_not_of('0');
  const std::string digits = nonZero == std::string_view::npos ? "0" : std::string(text.substr(nonZero));
  if (digits.size() > 10) return std::nullopt;  // beyond any 32-bit number
  const std::string written = digits == "0" ? digits : sign + digits;
  const long long number = std::stoll(written);
  if (number < INT32_MIN || number > INT32_MAX || std::to_string(number) != written) return std::nullopt;
  return static_cast<int32_t>(number);
}

void CheckValueText(std::string_view text) {
  if (ParseProfileInt(text) != OracleInt(text)) Fail("ParseProfileInt disagrees with the written form of numbers");
}

// The text's lines without their ends ("\r\n", "\n" or a lone "\r").
std::vector<std::string_view> LinesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte order mark is no line's
  while (!text.empty()) {
    const size_t end = text.find_first_of("\r\n");
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    text.remove_prefix(end + (crlf ? 2 : 1));
  }
  return lines;
}

// A rough reading of the names the text uses, only to choose what to look up.
// Its mistakes make look-ups that find nothing, never false alarms.
std::optional<std::string_view> KeyNameOf(std::string_view line) {
  std::string_view content = Trim(line);
  if (content.empty() || content[0] == ';' || content[0] == '#' || content[0] == '[') return std::nullopt;
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, equals));
}

struct Probe {
  std::string section;
  std::string key;
  bool target;       // a key that the load sets
  bool settingsKey;  // a key that the save sets
};

// The settings section is probed for every settings key and for up to four
// other names the text uses; up to two other sections for those names and two
// settings keys, so that a key set in the wrong section would show.
std::vector<Probe> ProbesFor(std::string_view text) {
  std::vector<std::string> sections;
  std::vector<std::string> names;
  for (std::string_view line : LinesOf(text)) {
    std::string_view content = Trim(line);
    size_t close = content.find(']');
    if (!content.empty() && content[0] == '[' && close != std::string_view::npos) {
      if (sections.size() < 2) sections.emplace_back(Trim(content.substr(1, close - 1)));
    } else if (std::optional<std::string_view> key = KeyNameOf(line); key && names.size() < 4) {
      names.emplace_back(*key);
    }
  }
  auto probe = [](const std::string& section, const std::string& key) {
    Probe p{section, key, false, false};
    if (!SameName(section, kSection)) return p;
    for (const ProfileKey& k : ProfileKeys()) {
      if (!SameName(key, k.name)) continue;
      p.target = k.loaded;
      p.settingsKey = true;
    }
    return p;
  };
  std::vector<Probe> probes;
  for (const ProfileKey& key : ProfileKeys()) probes.push_back({kSection, key.name, key.loaded, true});
  for (const std::string& name : names) probes.push_back(probe(kSection, name));
  for (const std::string& section : sections) {
    std::vector<std::string> keys = names;
    keys.insert(keys.end(), {"Max SQ", "SEQ 7\\CH 3"});
    for (const std::string& key : keys) probes.push_back(probe(section, key));
  }
  return probes;
}

// One key at a time, or all the keys of a section together: the two must
// agree, so the text before a change is read one way and after it the other.
std::vector<std::optional<std::string>> Look(const CIniDocument& doc, const std::vector<Probe>& probes,
                                             bool together) {
  std::vector<std::optional<std::string>> values(probes.size());
  if (!together) {
    for (size_t i = 0; i < probes.size(); ++i) {
      std::optional<std::string_view> value = doc.Value(probes[i].section, probes[i].key);
      if (value) values[i] = std::string(*value);
    }
    return values;
  }
  std::map<std::string_view, std::vector<size_t>> bySection;
  for (size_t i = 0; i < probes.size(); ++i) bySection[probes[i].section].push_back(i);
  for (const auto& [section, indices] : bySection) {
    std::vector<std::string_view> keys;
    for (size_t i : indices) keys.push_back(probes[i].key);
    const std::vector<std::optional<std::string_view>> found = doc.Values(section, keys);
    for (size_t k = 0; k < indices.size(); ++k) {
      if (found[k]) values[indices[k]] = std::string(*found[k]);
    }
  }
  return values;
}

// The record holds what the settings section says, as the probes read it
// (the first ones are the settings keys, in order): a readable value, else
// the key's default.
void CheckLoadedValues(const std::vector<std::optional<std::string>>& values, const LedSettings& loaded) {
  for (size_t i = 0; i < ProfileKeys().size(); ++i) {
    const ProfileKey& key = ProfileKeys()[i];
    if (!key.loaded) continue;
    std::optional<int32_t> value = values[i] ? OracleInt(*values[i]) : std::nullopt;
    Check(KeyValue(loaded, key) == value.value_or(key.defaultValue), "loaded another value for ", key.name);
  }
}

// The settings keys read back as `settings` holds them (all of them, or the
// loaded ones only).
void CheckKeysReadBack(const std::vector<std::optional<std::string>>& values, const LedSettings& settings,
                       bool loadedOnly, const char* what) {
  for (size_t i = 0; i < ProfileKeys().size(); ++i) {
    const ProfileKey& key = ProfileKeys()[i];
    if (loadedOnly && !key.loaded) continue;
    Check(values[i] == FormatProfileInt(KeyValue(settings, key)), what, key.name);
  }
}

bool SameLoaded(const LedSettings& a, const LedSettings& b) {
  return a.comPort == b.comPort && a.maxSq == b.maxSq && a.seq.cells == b.seq.cells;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  CheckValueText(text);
  if (size >= 4) {
    int32_t value;
    std::memcpy(&value, data, sizeof value);
    Check(ParseProfileInt(FormatProfileInt(value)) == value, "a written value does not read back");
  }

  CIniDocument doc{std::string(text)};
  Check(doc.Text() == text, "an unchanged document does not write back its own bytes");

  const std::vector<Probe> probes = ProbesFor(text);
  const std::vector<std::optional<std::string>> before = Look(doc, probes, false);
  const OracleProfile oracle(text);
  for (size_t i = 0; i < probes.size(); ++i) {
    Check(before[i] == oracle.Value(probes[i].section, probes[i].key), "the document and the format's rules read [",
          probes[i].section, "] ", probes[i].key, " differently");
    if (before[i]) CheckValueText(*before[i]);
  }

  LedSettings expected;
  expected.numOfChannel = 12345;
  const std::string written = LoadFromProfileText("LED", text, expected);
  Check(expected.numOfChannel == 12345, "loading changed the channel-count word");
  CheckLoadedValues(before, expected);
  const CIniDocument writtenDoc(written);
  const std::vector<std::optional<std::string>> after = Look(writtenDoc, probes, true);
  for (size_t i = 0; i < probes.size(); ++i) {
    if (probes[i].target) continue;
    Check(after[i] == before[i], "setting the settings keys changed [", probes[i].section, "] ", probes[i].key);
  }
  CheckKeysReadBack(after, expected, true, "a key set does not read back: ");

  // Every line that is not a settings key keeps its place among the others.
  std::vector<std::string_view> newLines = LinesOf(written);
  size_t at = 0;
  for (std::string_view line : LinesOf(text)) {
    std::optional<std::string_view> key = KeyNameOf(line);
    bool settingsKey = false;
    for (const ProfileKey& k : ProfileKeys()) settingsKey = settingsKey || (key && SameName(*key, k.name));
    if (settingsKey) continue;
    while (at < newLines.size() && newLines[at] != line) ++at;
    Check(at < newLines.size(), "a line that was not set went missing or moved");
    ++at;
  }

  // The written text writes back its own bytes; that its keys read back as
  // set (above) makes loading it again change nothing.
  Check(writtenDoc.Text() == written, "the written text does not write back its own bytes");

  // A save writes every key, the channel-count word among them, keeps the
  // other lines, and a load of the saved text gives the record back.
  LedSettings record = expected;
  record.numOfChannel = -7;
  if (size >= 8) std::memcpy(&record.seq.cells[data[4] % record.seq.cells.size()], data, sizeof(int32_t));
  const std::string saved = SaveToProfileText("LED", written, record);
  // The keys are set together; setting them one by one must write the same.
  CIniDocument oneByOne(written);
  for (const ProfileKey& key : ProfileKeys()) oneByOne.Set(kSection, key.name, FormatProfileInt(KeyValue(record, key)));
  Check(oneByOne.TextView() == saved, "keys set together differ from keys set one by one");
  const std::vector<std::optional<std::string>> afterSave = Look(CIniDocument(saved), probes, true);
  CheckKeysReadBack(afterSave, record, false, "a saved key does not read back: ");
  for (size_t i = 0; i < probes.size(); ++i) {
    if (probes[i].settingsKey) continue;
    Check(afterSave[i] == before[i], "saving changed [", probes[i].section, "] ", probes[i].key);
  }
  LedSettings reloaded;
  Check(LoadFromProfileText("LED", saved, reloaded) == saved, "loading a saved text changes it");
  Check(SameLoaded(reloaded, record), "save then load did not give the record back");
  return 0;
}
