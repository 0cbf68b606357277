// Deciding whether a device is a serial line that frames may be written to,
// before anything on it is changed: not the terminal this program runs in,
// not the system console, not the pseudo-terminal multiplexer.
#pragma once

#include <sys/stat.h>

#include <string>

// Why the character device described by `info` (opened from `path`) must not
// be taken for a unit line; empty when it may.
std::string WrongTerminal(const struct stat& info, const std::string& path);
