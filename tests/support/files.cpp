// Whole files for tests.
#include "support/files.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "settings/whole_file.h"

namespace testsupport {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

// The file's identity as the profile's own stamp takes it, on either system
// (an inode, a Windows file index).
unsigned long InodeOf(const std::string& path) {
  std::string bytes;
  FileStamp stamp;
  std::string error;
  return ReadWholeFile(path, &bytes, &stamp, &error) && stamp.exists ? static_cast<unsigned long>(stamp.inode) : 0;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace testsupport
