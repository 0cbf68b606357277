// Whole files for tests: read, written, and looked at.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// The bytes of the file at `path`; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file at `path` with `bytes`; fails the current test when it cannot.
void WriteFile(const std::string& path, const std::string& bytes);
// Inode number of the file at `path`, 0 when there is none.
unsigned long InodeOf(const std::string& path);
// Lines of text split at '\n', line ends dropped.
std::vector<std::string> Lines(const std::string& text);

}  // namespace testsupport
