// Real files for the settings tests: a temporary folder removed with all it
// holds, and whole-file read and write helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/led_settings.h"

class CTempFolder {
 public:
  CTempFolder();
  ~CTempFolder();
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  // Names in the folder, "." and ".." left out, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string m_path;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Inode number of the file at path, 0 when there is none.
unsigned long InodeOf(const std::string& path);
// Lines of text split at '\n', line ends dropped.
std::vector<std::string> Lines(const std::string& text);
// A record with every field and every cell set to `value`.
LedSettings Filled(int32_t value);
