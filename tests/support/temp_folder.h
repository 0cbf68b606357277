// A fresh folder for one test, made under the test temporary folder
// (TEST_TMPDIR or TMPDIR, else the system's) and removed with all it holds.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

class TempFolder {
 public:
  // Fails the current test (and leaves Path() empty) when no folder can be made.
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  // Names in the folder, "." and ".." left out, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string m_path;
};

}  // namespace testsupport
