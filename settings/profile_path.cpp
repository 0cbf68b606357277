// Where the profile file lives: one file per program name in the user's
// configuration folder; and the XDG folders it and the journal share.
#include <errno.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "settings/profile_path.h"
#include "settings/xdg_folder.h"

std::string XdgFolder(const char* variable, const char* belowHome) {
  // A relative value is invalid and ignored, as the XDG rules say.
  const char* xdg = std::getenv(variable);
  std::string folder;
  if (xdg && xdg[0] == '/') {
    folder = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) {
      const passwd* user = getpwuid(getuid());
      home = user && user->pw_dir ? user->pw_dir : ".";
    }
    folder = std::string(home) + "/" + belowHome;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string ProfilePathFor(const std::string& programName) {
  std::string program = programName.substr(programName.find_last_of('/') + 1);
  if (program.empty()) program = "dimlet";
  std::string folder = XdgFolder("XDG_CONFIG_HOME", ".config");
  return (folder == "/" ? "" : folder) + "/" + program + ".ini";
}

std::string ProfilePlaceText(const std::string& programName) { return "~/.config/" + programName + ".ini"; }

std::string DefaultProfilePath() { return ProfilePathFor(program_invocation_short_name); }
