// Where the profile file lives on Windows: %APPDATA%\Dimlet\<program>.ini,
// the folder made by the profile store when it first writes the file.
#include <string>

#include "settings/profile_path.h"
#include "settings/windows_text.h"

namespace {

// Roaming application data, as Windows sets it for every user; a session
// without it (a service) keeps its profile beside the working folder.
std::string ConfigFolder() {
  const std::string appData = windows_text::Environment(L"APPDATA");
  return (appData.empty() ? std::string(".") : appData) + "\\Dimlet";
}

}  // namespace

std::string ProfilePathFor(const std::string& programName) {
  std::string program = programName.substr(programName.find_last_of("/\\") + 1);
  constexpr std::string_view kExe = ".exe";
  if (program.size() > kExe.size() && program.ends_with(kExe)) program.resize(program.size() - kExe.size());
  if (program.empty()) program = "dimlet";
  return ConfigFolder() + "\\" + program + ".ini";
}

std::string ProfilePlaceText(const std::string& programName) {
  return "%APPDATA%\\Dimlet\\" + programName + ".ini";
}

std::string DefaultProfilePath() {
  wchar_t module[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
  return ProfilePathFor(length > 0 && length < MAX_PATH ? windows_text::Utf8(module, length) : std::string());
}
