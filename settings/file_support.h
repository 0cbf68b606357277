// Small helpers shared by the files of this folder that touch the disk: the
// one form of a failure's reason. (FolderOf is in whole_file.h.)
#pragma once

#include <string>

#include "settings/whole_file.h"

// "<what was being done>: <the system's text for err>", the form of every
// reason this folder gives.
std::string Reason(const std::string& doing, int err);

// The stamp of an open or named file as fstat/stat reported it (POSIX).
FileStamp StampOf(const struct stat& info);
