// Fuzzes the profile store through real files, with arbitrary bytes as the
// file's text: CProfileStore::Load fills the record with what loading the
// text in memory gives, writes that same text, changes nothing when run
// again, and a Save followed by a Load gives the record back. This is what
// only files show (reading, the atomic write); the reading and writing of the
// keys themselves are fuzzed far faster in memory by fuzz_profile_text.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "settings/ini_document.h"
#include "settings/led_settings.h"
#include "settings/profile_keys.h"
#include "settings/profile_store.h"
#include "settings/profile_text.h"
#include "settings/profile_value.h"

namespace {

const std::string kSection = ProfileSection("LED");

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "profile store invariant broken: %s\n", what.c_str());
  std::abort();
}

void Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
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
  std::string error;
  Check(store.Load("LED", loaded, &error), "Load failed: " + error);
  Check(SameLoaded(loaded, expected), "Load filled other values than the file holds");
  Check(loaded.numOfChannel == 12345, "Load changed the channel-count word");
  Check(ReadFile(path) == expectedText, "Load wrote other text than setting its keys gives");

  LedSettings again;
  Check(CProfileStore(path).Load("LED", again, &error), "second Load failed");
  Check(SameLoaded(again, loaded), "second Load gave other values");
  Check(ReadFile(path) == expectedText, "second Load changed the file");

  loaded.numOfChannel = -7;
  Check(CProfileStore(path).Save("LED", loaded, &error), "Save failed");
  LedSettings saved;
  Check(CProfileStore(path).Load("LED", saved, &error), "Load after Save failed");
  Check(SameLoaded(saved, loaded), "Save then Load did not give the record back");
  const CIniDocument file(ReadFile(path));
  std::optional<std::string_view> channels = file.Value(kSection, "Num Of Channel");
  Check(channels && ParseProfileInt(*channels) == -7, "Save lost the channel-count word");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  LedSettings expected;
  const std::string written = LoadFromProfileText("LED", text, expected);
  CheckStore(text, expected, written);
  return 0;
}
