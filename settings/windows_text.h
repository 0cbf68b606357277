// Windows' API at its own boundary: UTF-8 inside the program, UTF-16 in the
// system's calls, and a failure's reason in the house's form. Included by the
// Windows files of every layer, and by nothing else.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace windows_text {

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
std::string Utf8(const wchar_t* wide, size_t length);

// The system's text for a Win32 error code, without its trailing line end.
std::string ErrorText(DWORD error);

// "<what was being done>: <the system's text for error>".
std::string Reason(const std::string& doing, DWORD error);

// An environment variable as UTF-8; empty when unset.
std::string Environment(const wchar_t* name);

// Whether `name` is a COM port's own name: "COM7", "com7" (COM1..COM999).
bool IsComPortName(std::string_view name);

}  // namespace windows_text
