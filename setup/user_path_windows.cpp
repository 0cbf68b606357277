// dimlet-user-path: the installer's helper that adds the installed folder to
// the user's PATH (HKCU\Environment) or takes that entry out again. It reads
// and writes the value whole through the registry's own calls: the
// installer's strings hold 1024 characters, and a longer PATH passed
// through them would come back cut.
//   dimlet-user-path add FOLDER      FOLDER as the last entry, unless one names it
//   dimlet-user-path remove ENTRY    the last entry that is ENTRY exactly
// Exit status: 0 changed, 1 nothing to change, 2 failed (the value is left
// as it was; the reason goes to standard error).
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "settings/windows_text.h"
#include "setup/path_entries.h"

namespace {

constexpr int kChanged = 0;
constexpr int kUnchanged = 1;
constexpr int kFailed = 2;

constexpr wchar_t kEnvironmentKey[] = L"Environment";
constexpr wchar_t kPathValue[] = L"Path";

int Fail(const std::string& reason) {
  std::fprintf(stderr, "dimlet-user-path: %s\n", reason.c_str());
  return kFailed;
}

// The value as the registry holds it, its type kept for the write back; a
// PATH not set yet is empty and of the type Windows gives a new one.
struct PathValue {
  std::wstring text;
  DWORD type = REG_EXPAND_SZ;
};

std::optional<PathValue> ReadPath(HKEY key, std::string& reason) {
  PathValue value;
  DWORD bytes = 0;
  LSTATUS status = ::RegQueryValueExW(key, kPathValue, nullptr, &value.type, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) {
    value.type = REG_EXPAND_SZ;
    return value;
  }
  // The value may grow between the two calls; the second says so.
  std::vector<wchar_t> buffer;
  do {
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
      reason = windows_text::Reason("reading HKCU\\Environment\\Path", status);
      return std::nullopt;
    }
    buffer.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(key, kPathValue, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
  } while (status == ERROR_MORE_DATA);
  if (status != ERROR_SUCCESS) {
    reason = windows_text::Reason("reading HKCU\\Environment\\Path", status);
    return std::nullopt;
  }
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) {
    reason = "HKCU\\Environment\\Path is not text; left as it is";
    return std::nullopt;
  }
  // The stored text may or may not end in its terminator.
  std::size_t length = bytes / sizeof(wchar_t);
  while (length > 0 && buffer[length - 1] == L'\0') --length;
  value.text.assign(buffer.data(), length);
  return value;
}

bool WritePath(HKEY key, const PathValue& value, std::string& reason) {
  LSTATUS status;
  if (value.text.empty()) {
    // Only this helper's own entry was there: the value goes as it came.
    status = ::RegDeleteValueW(key, kPathValue);
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
  } else {
    const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t));
    status = ::RegSetValueExW(key, kPathValue, 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()), bytes);
  }
  if (status != ERROR_SUCCESS) {
    reason = windows_text::Reason("writing HKCU\\Environment\\Path", status);
    return false;
  }
  // Explorer takes the new PATH for the programs it starts from now on;
  // a window that does not answer within a few seconds is not waited for.
  ::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kEnvironmentKey),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
  return true;
}

int Run(const std::wstring& verb, const std::wstring& folder) {
  HKEY key = nullptr;
  const LSTATUS opened = ::RegCreateKeyExW(HKEY_CURRENT_USER, kEnvironmentKey, 0, nullptr, 0,
                                           KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
  if (opened != ERROR_SUCCESS) return Fail(windows_text::Reason("opening HKCU\\Environment", opened));
  std::string reason;
  std::optional<PathValue> value = ReadPath(key, reason);
  int result = kFailed;
  if (!value) {
    result = Fail(reason);
  } else if (windows_text::Wide(windows_text::Utf8(value->text)) != value->text) {
    // Text that is not UTF-16 would not survive the way through UTF-8.
    result = Fail("HKCU\\Environment\\Path holds text that is not Unicode; left as it is");
  } else {
    const std::string path = windows_text::Utf8(value->text);
    const std::string entry = windows_text::Utf8(folder);
    const std::optional<std::string> changed =
        verb == L"add" ? setup::WithFolder(path, entry) : setup::WithoutEntry(path, entry);
    if (!changed) {
      result = kUnchanged;
    } else {
      value->text = windows_text::Wide(*changed);
      result = WritePath(key, *value, reason) ? kChanged : Fail(reason);
    }
  }
  ::RegCloseKey(key);
  return result;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments) return Fail("no command line");
  int result = kFailed;
  const bool known = count == 3 && (std::wstring(arguments[1]) == L"add" || std::wstring(arguments[1]) == L"remove");
  if (!known || arguments[2][0] == L'\0') {
    result = Fail("usage: dimlet-user-path add FOLDER | remove ENTRY");
  } else {
    result = Run(arguments[1], arguments[2]);
  }
  ::LocalFree(arguments);
  return result;
}
