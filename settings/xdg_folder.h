// A folder of the XDG base directories on POSIX (the profile's config folder,
// the journal's state folder), without a trailing slash. Private to settings/.
#pragma once

#include <string>

// $<variable> when it is an absolute path (a relative one is invalid and
// ignored, as the XDG rules say), else $HOME/<belowHome>, the password
// database's home folder standing in for an unset HOME.
std::string XdgFolder(const char* variable, const char* belowHome);
