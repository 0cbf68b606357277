// What the Windows files of settings/ share about files on disk.
#pragma once

#include <string>

#include "settings/whole_file.h"
#include "settings/windows_text.h"

// The stamp of an open file, or of the file at a path (not there: !exists).
FileStamp StampOfHandle(HANDLE file);
FileStamp StampOfPath(const std::string& path);
