// UTF-8 and UTF-16 at the Windows boundary (see windows_text.h).
#include "settings/windows_text.h"

#include <algorithm>
#include <vector>

namespace windows_text {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string Utf8(const wchar_t* wide, size_t length) {
  if (length == 0) return {};
  const int size = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, size, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

std::string Utf8(const std::wstring& wide) { return Utf8(wide.data(), wide.size()); }

std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || !text) return "system error " + std::to_string(error);
  std::string result = Utf8(text, length);
  LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ' ||
                             result.back() == '.')) {
    result.pop_back();
  }
  return result;
}

std::string Reason(const std::string& doing, DWORD error) { return doing + ": " + ErrorText(error); }

std::string Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::vector<wchar_t> value(size);
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  return length > 0 && length < size ? Utf8(value.data(), length) : std::string();
}

bool IsComPortName(std::string_view name) {
  const auto letter = [](char c, char upper) { return c == upper || c == upper - 'A' + 'a'; };
  return name.size() > 3 && name.size() <= 6 && letter(name[0], 'C') && letter(name[1], 'O') && letter(name[2], 'M') &&
         std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace windows_text
