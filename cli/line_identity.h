// Which device a serial line's name reaches, so that one line named twice
// (a link and its target; "com3" and "\\.\COM3") is found before two threads
// write frames onto it at once.
#pragma once

#include <string>

// The device `path` names, in one form per device; `path` itself when that
// cannot be found out (no such device yet).
std::string LineIdentity(const std::string& path);
