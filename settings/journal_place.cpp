// Where the journal lives on POSIX, and who writes it: the XDG state folder,
// the host name, the login name.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "settings/journal.h"

std::string DefaultJournalPath() {
  // A relative XDG_STATE_HOME is invalid and ignored, as the XDG rules say.
  const char* xdg = std::getenv("XDG_STATE_HOME");
  std::string folder;
  if (xdg && xdg[0] == '/') {
    folder = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) {
      const passwd* user = getpwuid(getuid());
      home = user && user->pw_dir ? user->pw_dir : ".";
    }
    folder = std::string(home) + "/.local/state";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return (folder == "/" ? "" : folder) + "/dimlet/journal.jsonl";
}

std::string JournalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || !name[0]) return "-";
  return name;
}

std::string JournalUserName() {
  const char* user = std::getenv("USER");
  if (user && user[0]) return user;
  const passwd* entry = getpwuid(getuid());
  return entry && entry->pw_name ? entry->pw_name : "-";
}
