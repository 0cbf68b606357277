// Places where writes fail as they do for an operator: a folder that refuses
// them, and a disk that is full. Each undoes itself when it goes.
#pragma once

#include <string>

namespace testsupport {

// Makes the folder at `path` refuse new files: read-only permissions, or, for
// root (who ignores them), the immutable attribute (chattr +i).
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::string path);
  ~ReadOnlyFolder() { Undo(); }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

  // False when the folder could not be made read-only here; WhyNot() says why
  // (for GTEST_SKIP).
  bool Made() const { return m_made; }
  const std::string& WhyNot() const { return m_whyNot; }
  // Makes the folder writable again; also done by the destructor.
  void Undo();

 private:
  std::string m_path;
  bool m_made = false;
  bool m_immutable = false;
  std::string m_whyNot;
};

// Marks the file at `path` read-only (no write permission for anyone; on
// Windows its read-only attribute), or takes the mark off again. False when
// that could not be done.
bool MarkReadOnly(const std::string& path, bool readOnly);

// A small filesystem of its own (a tmpfs of `bytes`) mounted on the existing
// folder `path`, which can be filled to the last block. Needs root.
class SmallDisk {
 public:
  SmallDisk(std::string path, unsigned long bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Mounted() const { return m_mounted; }
  const std::string& WhyNot() const { return m_whyNot; }
  // Writes the file "filler" until nothing more fits.
  void Fill();
  // Removes the filler again.
  void Free();

 private:
  std::string m_path;
  bool m_mounted = false;
  std::string m_whyNot;
};

}  // namespace testsupport
