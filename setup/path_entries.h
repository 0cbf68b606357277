// A PATH value as its entries: a folder added at its end or one entry taken
// out, with every other byte of the value kept as it was (its order, empty
// entries, quotes, variables not yet expanded). The installer's helper
// (user_path_windows.cpp) reads and writes the value itself; NSIS's own
// strings would cut a long PATH at 1024 characters.
#pragma once

#include <optional>
#include <string>

namespace setup {

// Whether `entry` names `folder`: the same text but for the case of ASCII
// letters (Windows' paths ignore case) and one trailing backslash.
bool IsSameFolder(const std::string& entry, const std::string& folder);

// `path` with `folder` added as its last entry, or nothing when an entry
// already names it. An empty `path` becomes `folder` alone; a `path` that
// ends in ';' gets no second one.
std::optional<std::string> WithFolder(const std::string& path, const std::string& folder);

// `path` without its last entry that is `folder` exactly, or nothing when no
// entry is. The ';' that joined it to its neighbour goes with it.
std::optional<std::string> WithoutEntry(const std::string& path, const std::string& folder);

}  // namespace setup
