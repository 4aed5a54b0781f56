#pragma once

#include <string>
#include <string_view>

namespace viren::test {

// A fresh folder for one test, removed with everything in it at the end.
// Lives under the build tree's test-tmp folder.
class TestDir {
 public:
  TestDir();
  ~TestDir();
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Writes `content` to `name` (folders are not created).
  void Write(std::string_view name, std::string_view content) const;
  std::string Read(std::string_view name) const;
  bool Exists(std::string_view name) const;

 private:
  std::string path_;
};

// Where the built program folder is (build/bin) and the source tree.
std::string ProgramFolder();
std::string SourceDir();

}  // namespace viren::test
