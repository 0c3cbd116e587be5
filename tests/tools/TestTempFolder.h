// A fresh temporary folder for one test, removed with everything in it when the object dies.
#ifndef TESTS_TOOLS_TESTTEMPFOLDER_H
#define TESTS_TOOLS_TESTTEMPFOLDER_H

#include <cstdint>
#include <string>
#include <vector>

class TestTempFolder {
 public:
  TestTempFolder();   // Makes a new folder under the system's temporary folder.
  ~TestTempFolder();  // Removes the folder and its contents (read-only files too).
  TestTempFolder(const TestTempFolder&) = delete;
  TestTempFolder& operator=(const TestTempFolder&) = delete;

  // The folder's path, ending in '/'.
  const std::string& Path() const { return fPath; }
  // Path() + `name`.
  std::string operator/(const std::string& name) const { return fPath + name; }

  // Writes `bytes` to Path() + `name` (folders on the way are made). Returns the full path.
  std::string WriteFile(const std::string& name, const std::string& bytes) const;
  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const;
  // Reads the whole file; empty when it cannot be read.
  static std::string ReadFile(const std::string& path);
  // Makes Path() + `name` and the folders above it. Returns the full path with a final '/'.
  std::string MakeFolder(const std::string& name) const;

 private:
  std::string fPath;
};

#endif  // TESTS_TOOLS_TESTTEMPFOLDER_H
