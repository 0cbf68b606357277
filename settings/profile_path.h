// Where the profile file lives: ${XDG_CONFIG_HOME:-$HOME/.config}/<program>.ini.
#pragma once

#include <string>

// The profile of the program `programName` (a path or a bare name; only its
// last component counts). Only computes the path; the profile store creates
// the folder (and its parents, mode 0700) when it first writes the file.
std::string ProfilePathFor(const std::string& programName);

// Where the profile of `programName` lives, in the words an operator reads
// in help texts: "~/.config/dimlet.ini" on Linux, "%APPDATA%\Dimlet\dimlet.ini"
// on Windows.
std::string ProfilePlaceText(const std::string& programName);

// The profile of the running executable, named after the name it was started
// under, so that a renamed copy keeps a profile of its own.
std::string DefaultProfilePath();
