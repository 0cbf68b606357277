// How a line is named on the command line and in a row file's line column:
// a Com entry ("Com 2"), a device path or a network line (tcp://, rfc2217://).
#pragma once

#include <string>

// "Com N" (N 1..kComEntries, any case, the blank optional): N; otherwise 0.
int ComEntryNumber(const std::string& text);

// A Com entry, or a name holding a slash or naming a device of this system
// (IsWholeDeviceName): a device path or a network line.
bool IsLineName(const std::string& text);
