// Fuzzes the profile file reader with arbitrary bytes as the file's text:
// - an unchanged document writes back exactly the bytes it read;
// - the value parser agrees with a digit-string reading of the 32-bit range,
//   and every written value reads back;
// - setting the settings keys changes those keys and nothing else that can be
//   read, keeps every other line in order, and re-reading the written text
//   gives what was set (and setting it again changes nothing);
// - CProfileStore::Load on that text as a real file fills the record with the
//   same values, writes the same text, changes nothing when run again, and a
//   Save followed by a Load gives the record back.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_document.h"
#include "settings/led_settings.h"
#include "settings/profile_keys.h"
#include "settings/profile_store.h"
#include "settings/profile_value.h"

namespace {

const std::string kSection = ProfileSection("LED");

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "profile reader invariant broken: %s\n", what.c_str());
  std::abort();
}

void Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
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

// A profile value read by comparing digit strings: blanks, a sign, at least
// one digit and nothing else, within the 32-bit range.
std::optional<int32_t> ReferenceInt(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
  const std::string_view limit = negative ? "2147483648" : "2147483647";
  if (text.size() > limit.size() || (text.size() == limit.size() && text > limit)) return std::nullopt;
  int64_t magnitude = 0;
  for (char c : text) magnitude = magnitude * 10 + (c - '0');
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

void CheckValueText(std::string_view text) {
  if (ParseProfileInt(text) != ReferenceInt(text)) Fail("ParseProfileInt disagrees with the digit-string reading");
}

// The text's lines without their ends ("\n", or "\r\n", or a final "\r").
std::vector<std::string_view> LinesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
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
  bool target;  // a key that the load sets
};

std::vector<Probe> ProbesFor(std::string_view text) {
  std::vector<std::string> sections = {kSection};
  std::vector<std::string> keys;
  for (const ProfileKey& key : ProfileKeys()) keys.push_back(key.name);
  size_t extraSections = 0;
  size_t extraKeys = 0;
  for (std::string_view line : LinesOf(text)) {
    std::string_view content = Trim(line);
    size_t close = content.find(']');
    if (!content.empty() && content[0] == '[' && close != std::string_view::npos && extraSections < 2) {
      sections.emplace_back(Trim(content.substr(1, close - 1)));
      ++extraSections;
    } else if (std::optional<std::string_view> key = KeyNameOf(line); key && extraKeys < 4) {
      keys.emplace_back(*key);
      ++extraKeys;
    }
  }
  std::vector<Probe> probes;
  for (const std::string& section : sections) {
    for (const std::string& key : keys) {
      bool target = false;
      for (const ProfileKey& k : ProfileKeys()) {
        target = target || (k.loaded && SameName(section, kSection) && SameName(key, k.name));
      }
      probes.push_back({section, key, target});
    }
  }
  return probes;
}

std::vector<std::optional<std::string>> Look(const CIniDocument& doc, const std::vector<Probe>& probes) {
  std::vector<std::optional<std::string>> values;
  for (const Probe& probe : probes) {
    std::optional<std::string_view> value = doc.Value(probe.section, probe.key);
    values.push_back(value ? std::optional<std::string>(*value) : std::nullopt);
  }
  return values;
}

// What Load must do to the text, done here through the document alone.
LedSettings LoadByDocument(CIniDocument& doc) {
  LedSettings settings;
  for (const ProfileKey& key : ProfileKeys()) {
    if (!key.loaded) continue;
    std::optional<std::string_view> stored = doc.Value(kSection, key.name);
    if (stored) CheckValueText(*stored);
    int32_t value = stored ? ParseProfileInt(*stored).value_or(key.defaultValue) : key.defaultValue;
    SetKeyValue(settings, key, value);
    doc.Set(kSection, key.name, FormatProfileInt(value));
  }
  return settings;
}

bool SameLoaded(const LedSettings& a, const LedSettings& b) {
  return a.comPort == b.comPort && a.maxSq == b.maxSq && a.seq.cells == b.seq.cells;
}

// A folder of this process's own, on tmpfs where there is one: the store
// syncs every file it writes.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/dimlet-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) Fail("cannot make a scratch folder");
    m_path = pattern;
  }
  ~ScratchFolder() {
    if (DIR* dir = opendir(m_path.c_str())) {
      while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") unlink((m_path + "/" + name).c_str());
      }
      closedir(dir);
    }
    rmdir(m_path.c_str());
  }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

std::string ReadFile(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    std::fclose(file);
  }
  return bytes;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) Fail("cannot write the scratch profile");
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    Fail("cannot write the scratch profile");
  }
  std::fclose(file);
}

void CheckStore(std::string_view text, const LedSettings& expected, const std::string& expectedText) {
  static ScratchFolder folder;
  const std::string path = folder.Path() + "/dimlet.ini";
  WriteFile(path, text);

  CProfileStore store(path);
  LedSettings loaded;
  loaded.numOfChannel = 12345;
  Check(store.Load("LED", loaded), "Load failed: " + store.Error());
  Check(SameLoaded(loaded, expected), "Load filled other values than the file holds");
  Check(loaded.numOfChannel == 12345, "Load changed the channel-count word");
  Check(ReadFile(path) == expectedText, "Load wrote other text than setting its keys gives");

  LedSettings again;
  Check(CProfileStore(path).Load("LED", again), "second Load failed");
  Check(SameLoaded(again, loaded), "second Load gave other values");
  Check(ReadFile(path) == expectedText, "second Load changed the file");

  loaded.numOfChannel = -7;
  Check(CProfileStore(path).Save("LED", loaded), "Save failed");
  LedSettings saved;
  Check(CProfileStore(path).Load("LED", saved), "Load after Save failed");
  Check(SameLoaded(saved, loaded), "Save then Load did not give the record back");
  const CIniDocument file(ReadFile(path));
  std::optional<std::string_view> channels = file.Value(kSection, "Num Of Channel");
  Check(channels && ParseProfileInt(*channels) == -7, "Save lost the channel-count word");
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

  CIniDocument doc(text);
  Check(doc.Text() == text, "an unchanged document does not write back its own bytes");

  const std::vector<Probe> probes = ProbesFor(text);
  const std::vector<std::optional<std::string>> before = Look(doc, probes);
  for (const std::optional<std::string>& value : before) {
    if (value) CheckValueText(*value);
  }

  const LedSettings expected = LoadByDocument(doc);
  const std::string written = doc.Text();
  const std::vector<std::optional<std::string>> after = Look(doc, probes);
  for (size_t i = 0; i < probes.size(); ++i) {
    if (probes[i].target) continue;
    Check(after[i] == before[i], "setting the settings keys changed [" + probes[i].section + "] " + probes[i].key);
  }
  for (const ProfileKey& key : ProfileKeys()) {
    if (!key.loaded) continue;
    Check(doc.Value(kSection, key.name) == FormatProfileInt(KeyValue(expected, key)),
          "a key set does not read back: " + key.name);
  }

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

  // The written text reads back as it was set, and setting it again is a no-op.
  CIniDocument reread(written);
  Check(reread.Text() == written, "the written text does not write back its own bytes");
  Check(Look(reread, probes) == after, "the written text reads back other values");
  Check(SameLoaded(LoadByDocument(reread), expected), "loading the written text gives other values");
  Check(reread.Text() == written, "loading the written text again changes it");

  CheckStore(text, expected, written);
  return 0;
}
