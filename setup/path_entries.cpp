// Adding and taking out one PATH entry, on the value's text alone.
#include "setup/path_entries.h"

#include <cstddef>
#include <vector>

namespace setup {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string WithoutTrailingBackslash(const std::string& text) {
  if (text.size() > 1 && text.back() == '\\') return text.substr(0, text.size() - 1);
  return text;
}

// Each entry's start and length in the value; a value of n separators has
// n + 1 entries, some perhaps empty.
struct Span {
  std::size_t start;
  std::size_t length;
};

std::vector<Span> EntriesOf(const std::string& path) {
  std::vector<Span> entries;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find(';', start);
    if (end == std::string::npos) {
      entries.push_back({start, path.size() - start});
      return entries;
    }
    entries.push_back({start, end - start});
    start = end + 1;
  }
}

}  // namespace

bool IsSameFolder(const std::string& entry, const std::string& folder) {
  const std::string a = WithoutTrailingBackslash(entry);
  const std::string b = WithoutTrailingBackslash(folder);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::optional<std::string> WithFolder(const std::string& path, const std::string& folder) {
  for (const Span& entry : EntriesOf(path)) {
    if (IsSameFolder(path.substr(entry.start, entry.length), folder)) return std::nullopt;
  }
  if (path.empty()) return folder;
  if (path.back() == ';') return path + folder;
  return path + ';' + folder;
}

std::optional<std::string> WithoutEntry(const std::string& path, const std::string& folder) {
  const std::vector<Span> entries = EntriesOf(path);
  for (std::size_t i = entries.size(); i-- > 0;) {
    const Span entry = entries[i];
    if (path.compare(entry.start, entry.length, folder) != 0) continue;
    if (entries.size() == 1) return std::string();
    // The separator before it, or for the first entry the one after it.
    if (i > 0) return path.substr(0, entry.start - 1) + path.substr(entry.start + entry.length);
    return path.substr(entry.length + 1);
  }
  return std::nullopt;
}

}  // namespace setup
