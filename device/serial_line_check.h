// Deciding whether a device is a serial line that frames may be written to,
// before anything on it is changed: not the terminal this program runs in,
// not the system console, not the pseudo-terminal multiplexer.
#pragma once

#include <sys/stat.h>

#include <string>

#include "device/line_result.h"

// Whether the character device described by `info` (opened from `path`) may
// be taken for a unit line; a failure saying why not when it must not.
LineResult<> CheckSerialTerminal(const struct stat& info, const std::string& path);
