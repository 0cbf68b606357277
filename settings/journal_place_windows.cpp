// Where the journal lives on Windows, and who writes it:
// %LOCALAPPDATA%\Dimlet\journal.jsonl (kept on this computer, not roaming),
// the computer's name, the login name.
#include "settings/journal.h"
#include "settings/windows_text.h"

std::string DefaultJournalPath() {
  const std::string local = windows_text::Environment(L"LOCALAPPDATA");
  return (local.empty() ? std::string(".") : local) + "\\Dimlet\\journal.jsonl";
}

std::string JournalHostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &length) || length == 0) return "-";
  return windows_text::Utf8(name, length);
}

std::string JournalUserName() {
  const std::string user = windows_text::Environment(L"USERNAME");
  return user.empty() ? "-" : user;
}
