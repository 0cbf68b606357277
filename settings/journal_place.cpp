// Where the journal lives on POSIX, and who writes it: the XDG state folder,
// the host name, the login name.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "settings/journal.h"
#include "settings/xdg_folder.h"

std::string DefaultJournalPath() {
  const std::string folder = XdgFolder("XDG_STATE_HOME", ".local/state");
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
