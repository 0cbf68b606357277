// Small helpers shared by the files of this folder that touch the disk: the
// one form of a failure's reason, and the folder a path lies in.
#pragma once

#include <string>

// "<what was being done>: <the system's text for err>", the form of every
// reason this folder gives.
std::string Reason(const std::string& doing, int err);

// The folder that holds `path`: "." for a bare name, "/" for a name in the root.
std::string FolderOf(const std::string& path);
