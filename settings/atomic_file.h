// Replacing a file atomically: readers, and a program killed at any instant,
// see either the old complete file or the new complete one, never a mix.
#pragma once

#include <string>
#include <string_view>

#include "settings/whole_file.h"

// Writes `bytes` as the new content of the file at `path`:
// - a symbolic link is followed to its final target, and the target is
//   replaced, so the link stays a link;
// - the bytes go to a temporary file ".<name>.tmp.XXXXXX" in the target's
//   folder, are fsync'ed, given the old file's permissions (0644 less the
//   umask for a new file), renamed over the target, and the folder is fsync'ed;
// - temporary files of this naming that a killed writer left behind are
//   removed first (one still being written by a live process is left alone).
// - a file marked read-only (no write permission for anyone; Windows' read-only
//   attribute) is refused: "replacing <path>: it is read-only".
// Returns false on failure with `error` set to "<what was being done>: <system
// text>"; the temporary file is then removed and the old file stays as it was,
// unless only the final folder sync failed.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

// As WriteFileAtomically, for a text merged from the file as `expected`
// stamps it: the new file takes the old one's place only if the old one is
// still that file (same inode, size and modification time; or still absent).
// The two are swapped in one step and the one taken out is checked, so an
// edit saved by another program a moment before is put back, never lost.
// False when the file was not replaced: with *changedMeanwhile set when it
// was no longer the one stamped (no failure: merge again), otherwise with
// `error` set as above.
bool ReplaceFileIfUnchanged(const std::string& path, std::string_view bytes, const FileStamp& expected,
                            bool* changedMeanwhile, std::string* error);
