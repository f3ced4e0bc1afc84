// A fresh directory for one test, removed with everything in it afterwards.
#ifndef RAVELIN_TESTS_SUPPORT_TEMP_DIR_H
#define RAVELIN_TESTS_SUPPORT_TEMP_DIR_H

#include <string>
#include <vector>

namespace ravelin_test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string Join(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file (creating parent directories) and returns its path.
  std::string Write(const std::string& name, const std::string& content) const;
  // Creates a directory (and its parents) below path().
  std::string MakeDir(const std::string& name) const;

 private:
  std::string path_;
};

// The whole content of a file; "" when it cannot be read.
std::string ReadFile(const std::string& path);
// True when the path exists (without following a final link).
bool Exists(const std::string& path);
// Names in a directory, sorted, without "." and "..".
std::vector<std::string> ListDir(const std::string& path);

}  // namespace ravelin_test

#endif  // RAVELIN_TESTS_SUPPORT_TEMP_DIR_H
